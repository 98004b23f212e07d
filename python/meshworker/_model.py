"""meshworker.Model: polygon models (a building's walls, roofs and slabs)
from CityJSON or OBJ files or numpy arrays, and the conforming mesh a pool
makes of one (Pool.mesh_model). Reading and meshing are the C++ readers' and
model layer's, the same as `meshctl model`'s; this module only carries their
data in and out."""

import collections
import numbers
import os

import numpy as np

from . import _core
from ._result import _SlotsState

# The weld tolerance unless mesh_model is given one, in metres.
DEFAULT_WELD_TOLERANCE = _core.default_weld_tolerance()

FaceOutcome = collections.namedtuple(
    "FaceOutcome", ["kind", "reason", "reason_key", "quads", "triangles", "non_planarity"])
FaceOutcome.__doc__ = """What became of one model face.

kind           "meshed", "refused", "failed", "skipped" (degenerate, never
               sent) or "not reached" (the run ended first)
reason         the worker's refusal line, or what went wrong, in words
reason_key     the check as a stable key: a refusal's ("self_intersection",
               ...), "call_failed" or "boundary_not_kept" for a failure, or
               why a face was skipped ("zero_area", "too_few_vertices", ...)
quads, triangles  elements the face has in the mesh
non_planarity  the largest distance of its vertices from its plane, metres"""

ModelMeshSummary = collections.namedtuple(
    "ModelMeshSummary",
    ["faces", "meshed_faces", "refused_faces", "failed_faces", "skipped_faces",
     "welded_vertices", "dropped_ring_repeats", "dropped_holes", "t_junctions", "shared_edges",
     "non_manifold_edges", "open_edges", "max_non_planarity", "seconds"])
ModelMeshSummary.__doc__ = """The figures `meshctl model` prints for a run:
faces by outcome; vertices welded, repeated ring vertices and empty holes
dropped, T-junctions split; model edges shared by two faces or more (and by
more than two), element edges left open by faces not meshed; the largest
non-planarity (metres); seconds taken."""


def _ring(value, what):
    ring = np.asarray(value)
    if ring.ndim != 1 or (ring.size and ring.dtype.kind not in "iu"):
        raise ValueError(f"{what}: expected a list of vertex indices, got {value!r}")
    return [int(index) for index in ring]


class Face(_SlotsState):
    """One planar polygon of a model: its outer ring and holes as lists of
    vertex indices (open: the last vertex is not the first repeated), its
    object id and semantic surface type ("RoofSurface", ...) as names or
    None, and its own target element size in metres (0: the run's)."""

    __slots__ = ("outer", "holes", "object", "semantic", "target_size")

    def __init__(self, outer, holes=(), object=None, semantic=None, target_size=0.0):
        self.outer = _ring(outer, "outer")
        self.holes = [_ring(hole, "hole") for hole in holes]
        for name, value in (("object", object), ("semantic", semantic)):
            if value is not None and not isinstance(value, str):
                raise ValueError(f"{name}: expected a name or None, got {value!r}")
        self.object = object
        self.semantic = semantic
        if not isinstance(target_size, numbers.Real) or not target_size >= 0:
            raise ValueError(f"target_size: expected metres >= 0, got {target_size!r}")
        self.target_size = float(target_size)

    def __eq__(self, other):
        return isinstance(other, Face) and all(
            getattr(self, name) == getattr(other, name) for name in self.__slots__)

    def __repr__(self):
        tags = "".join(f", {name}={getattr(self, name)!r}" for name in ("object", "semantic")
                       if getattr(self, name) is not None)
        return f"Face({self.outer!r}, holes={self.holes!r}{tags})"


def _face(value, index):
    if isinstance(value, Face):
        return value
    try:
        if isinstance(value, dict):
            return Face(**value)
        return Face(value)
    except (TypeError, ValueError) as problem:
        raise ValueError(f"faces[{index}]: {problem}") from None


class Model:
    """A polygon model: vertices (V x 3 float64, metres) shared by faces.

    faces  each a Face, a dict of Face's arguments, or just an outer ring
           (a list or 1-D array of vertex indices); an F x k integer array
           is F faces of k vertices each
    objects, semantics  the names tags are numbered by in the mesh's cell
           data (tag i is names[i]); names faces use that are missing are
           appended in order of first use. By default, order of first use.
    notes  what a reader left out of the file, for people

    Nothing is checked against the geometry here: the model layer welds,
    repairs what it can and reports each face it skips.
    """

    def __init__(self, vertices, faces, objects=(), semantics=(), notes=()):
        vertices = np.ascontiguousarray(vertices, dtype=np.float64)
        if vertices.ndim != 2 or vertices.shape[1] != 3:
            raise ValueError(f"vertices: expected shape (V, 3), got {vertices.shape}")
        self.vertices = vertices
        self.faces = [_face(face, index) for index, face in enumerate(faces)]
        self.objects = list(objects)
        self.semantics = list(semantics)
        for names, attribute in ((self.objects, "object"), (self.semantics, "semantic")):
            known = set(names)
            for face in self.faces:
                name = getattr(face, attribute)
                if name is not None and name not in known:
                    known.add(name)
                    names.append(name)
        self.notes = list(notes)

    def _native(self):
        """The model as _core takes it."""
        object_tag = {name: tag for tag, name in enumerate(self.objects)}
        semantic_tag = {name: tag for tag, name in enumerate(self.semantics)}
        faces = [(face.outer, face.holes,
                  -1 if face.object is None else object_tag[face.object],
                  -1 if face.semantic is None else semantic_tag[face.semantic],
                  face.target_size) for face in self.faces]
        return self.vertices, faces, self.objects, self.semantics

    def __repr__(self):
        return (f"Model({len(self.vertices)} vertices, {len(self.faces)} faces, "
                f"{len(self.objects)} objects)")


def read_model(path, lod=None):
    """The model in a CityJSON file (".json", ".city.json", ".cityjson") or
    a Wavefront OBJ file (".obj"), read as `meshctl model` reads it. lod:
    CityJSON's level of detail as the file spells it ("2", "2.2"); None:
    the highest each object has. ValueError naming the file when it cannot
    be read."""
    vertices, faces, objects, semantics, notes = _core.read_model(
        os.fspath(path), "" if lod is None else str(lod))
    model = Model.__new__(Model)
    model.vertices = vertices
    model.faces = []
    for outer, holes, object_tag, semantic_tag, target_size in faces:
        face = Face.__new__(Face)
        face.outer, face.holes, face.target_size = outer, holes, target_size
        face.object = objects[object_tag] if object_tag >= 0 else None
        face.semantic = semantics[semantic_tag] if semantic_tag >= 0 else None
        model.faces.append(face)
    model.objects, model.semantics, model.notes = list(objects), list(semantics), list(notes)
    return model


class ModelMeshResult(_SlotsState):
    """A model meshed into one conforming mesh.

    vertices        V x 3 float64, shared by neighbouring faces' elements
    quads           Q x 4 int32 vertex indices
    triangles       T x 3 int32 vertex indices
    quad_faces      Q int32: the model face each quad came from
    triangle_faces  T int32: the model face each triangle came from
    faces           one FaceOutcome per model face, in the model's order
    summary         the ModelMeshSummary figures
    model           the Model meshed, whose tables name the tags
    """

    __slots__ = ("vertices", "quads", "triangles", "quad_faces", "triangle_faces", "faces",
                 "summary", "model")

    def __init__(self, vertices, quads, triangles, quad_faces, triangle_faces, faces, summary,
                 model):
        self.vertices = vertices
        self.quads = quads
        self.triangles = triangles
        self.quad_faces = quad_faces
        self.triangle_faces = triangle_faces
        self.faces = faces
        self.summary = summary
        self.model = model

    def _face_tags(self):
        """Per model face its object and semantic tags, -1 for none."""
        objects = {name: tag for tag, name in enumerate(self.model.objects)}
        semantics = {name: tag for tag, name in enumerate(self.model.semantics)}
        return (np.array([objects.get(face.object, -1) for face in self.model.faces] + [-1],
                         dtype=np.int32),
                np.array([semantics.get(face.semantic, -1) for face in self.model.faces] + [-1],
                         dtype=np.int32))

    def to_meshio(self):
        """A meshio.Mesh laid out as `meshctl model`'s .vtu: quads, then
        triangles (those present), cell data "face" (the model face),
        "object" and "semantic" (its tags, -1 for none), and field data
        "object_names" and "semantic_names" (the tags' names as UTF-8, each
        ended by a 0 byte; meshio's own .vtu writer leaves field data out,
        so `model.objects` and `model.semantics` are where to look them up
        after a round trip)."""
        import meshio  # only callers who want it need it installed

        object_of, semantic_of = self._face_tags()
        cells = []
        cell_data = {"face": [], "object": [], "semantic": []}
        for kind, elements, faces in (("quad", self.quads, self.quad_faces),
                                      ("triangle", self.triangles, self.triangle_faces)):
            if not len(elements):
                continue
            faces = np.asarray(faces, dtype=np.int32)
            # An element of no face of the model (index -1 or past the end)
            # has neither tag.
            known = np.where((faces >= 0) & (faces < len(self.model.faces)), faces, -1)
            cells.append((kind, np.asarray(elements)))
            cell_data["face"].append(faces)
            cell_data["object"].append(object_of[known])
            cell_data["semantic"].append(semantic_of[known])
        field_data = {
            f"{kind}_names": np.frombuffer(b"".join(name.encode() + b"\0" for name in names),
                                           dtype=np.uint8)
            for kind, names in (("object", self.model.objects),
                                ("semantic", self.model.semantics))}
        return meshio.Mesh(self.vertices, cells, cell_data=cell_data, field_data=field_data)

    def __repr__(self):
        s = self.summary
        return (f"ModelMeshResult({len(self.vertices)} vertices, {len(self.quads)} quads, "
                f"{len(self.triangles)} triangles; {s.meshed_faces} of {s.faces} faces meshed)")


def model_result(fields, model):
    """The ModelMeshResult of _core's answer for `model`."""
    return ModelMeshResult(
        vertices=fields["vertices"], quads=fields["quads"], triangles=fields["triangles"],
        quad_faces=fields["quad_faces"], triangle_faces=fields["triangle_faces"],
        faces=[FaceOutcome(*face) for face in fields["faces"]],
        summary=ModelMeshSummary(**fields["summary"]), model=model)
