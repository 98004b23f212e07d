"""meshworker.MeshResult: one meshed region as numpy arrays."""

import numpy as np


class MeshResult:
    """The mesh of one request, tied to the request's own numbering.

    vertices          V x 3 float64, in the request's 3-D space
    quads             Q x 4 int32 vertex indices
    triangles         T x 3 int32 vertex indices
    quad_domains      Q int32: the domain of each quad
    triangle_domains  T int32: the domain of each triangle
    point_vertex      N int32: the vertex that stands for request point i
    segment_chains    one int32 array per request segment: the vertices
                      along it, from point_vertex[point_a] to point_vertex[point_b]
    diagnostics       lines the worker wrote while meshing it
    elapsed           seconds from sending the request to its answer

    The arrays share the decoded answer's memory: no copies are made.
    """

    __slots__ = ("vertices", "quads", "triangles", "quad_domains", "triangle_domains",
                 "point_vertex", "segment_chains", "diagnostics", "elapsed")

    def __init__(self, vertices, quads, triangles, quad_domains, triangle_domains, point_vertex,
                 segment_chains, diagnostics=(), elapsed=0.0):
        self.vertices = vertices
        self.quads = quads
        self.triangles = triangles
        self.quad_domains = quad_domains
        self.triangle_domains = triangle_domains
        self.point_vertex = point_vertex
        self.segment_chains = list(segment_chains)
        self.diagnostics = list(diagnostics)
        self.elapsed = elapsed

    def to_meshio(self):
        """A meshio.Mesh: quads and triangles as cell blocks (those present),
        the domains as cell data "domain"."""
        import meshio  # only callers who want it need it installed

        cells, domains = [], []
        for kind, elements, element_domains in (("quad", self.quads, self.quad_domains),
                                                ("triangle", self.triangles,
                                                 self.triangle_domains)):
            if len(elements):
                cells.append((kind, np.asarray(elements)))
                domains.append(np.asarray(element_domains))
        return meshio.Mesh(self.vertices, cells, cell_data={"domain": domains})

    def __getstate__(self):
        return {name: getattr(self, name) for name in self.__slots__}

    def __setstate__(self, state):
        for name, value in state.items():
            setattr(self, name, value)

    def __repr__(self):
        return (f"MeshResult({len(self.vertices)} vertices, {len(self.quads)} quads, "
                f"{len(self.triangles)} triangles)")
