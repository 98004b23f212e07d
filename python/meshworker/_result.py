"""meshworker.MeshResult: one meshed region as numpy arrays."""

import json

import numpy as np

from . import _core


class _SlotsState:
    """Pickling for classes with __slots__ and no __dict__: the state is each
    slot's value by name (results and faces travel to and from Dask workers)."""

    __slots__ = ()

    def __getstate__(self):
        return {name: getattr(self, name) for name in self.__slots__}

    def __setstate__(self, state):
        for name, value in state.items():
            setattr(self, name, value)


class MeshResult(_SlotsState):
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
        """A meshio.Mesh laid out as meshctl's .vtu: quads, triangles and
        then the boundary's pieces as line cells (along each segment chain
        in turn), each kind a cell block when present. Cell data "domain"
        (-1 on lines) and "segment", the request segment a line lies on
        (-1 on quads and triangles)."""
        import meshio  # only callers who want it need it installed

        chains = [np.asarray(chain, dtype=np.int32) for chain in self.segment_chains]
        lines = [np.column_stack((chain[:-1], chain[1:])) for chain in chains if len(chain) > 1]
        line_segments = [np.full(len(chain) - 1, index, dtype=np.int32)
                         for index, chain in enumerate(chains) if len(chain) > 1]
        cells, domains, segments = [], [], []
        for kind, elements, element_domains in (("quad", self.quads, self.quad_domains),
                                                ("triangle", self.triangles,
                                                 self.triangle_domains)):
            if len(elements):
                cells.append((kind, np.asarray(elements)))
                domains.append(np.asarray(element_domains, dtype=np.int32))
                segments.append(np.full(len(elements), -1, dtype=np.int32))
        if lines:
            cells.append(("line", np.concatenate(lines)))
            segments.append(np.concatenate(line_segments))
            domains.append(np.full(len(segments[-1]), -1, dtype=np.int32))
        return meshio.Mesh(self.vertices, cells,
                           cell_data={"domain": domains, "segment": segments})

    def quality(self):
        """The quality summary `meshctl stats --json` gives for this mesh,
        from the same code, as a dict: "vertices", "quads", "triangles"; over
        all elements "min_angle" and "max_angle" (degrees), "worst_aspect_ratio",
        "min_quality", "mean_quality", "quality_histogram" (counts by tenths),
        "poor" (how many fall below 0.3) and "worst" ({"domain", "element":
        "quad" or "triangle", "index"}, the index into self.quads or
        self.triangles; absent without elements); then "domains", the same
        per domain. Quality is a triangle's mean ratio or a quad's scaled
        Jacobian: 1 at best, 0 for a collapsed element. An infinite aspect
        ratio (an element of no area), and every measure of a mesh without
        elements, is None."""
        def rows(array, dtype, columns):
            array = np.ascontiguousarray(array, dtype=dtype)
            return array.reshape(-1, columns) if columns else array.reshape(-1)

        return json.loads(_core.mesh_quality_json(
            rows(self.vertices, np.float64, 3), rows(self.quads, np.int32, 4),
            rows(self.triangles, np.int32, 3), rows(self.quad_domains, np.int32, 0),
            rows(self.triangle_domains, np.int32, 0)))

    def __repr__(self):
        return (f"MeshResult({len(self.vertices)} vertices, {len(self.quads)} quads, "
                f"{len(self.triangles)} triangles)")
