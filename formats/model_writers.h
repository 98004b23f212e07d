// Writes a meshed polygon model in formats other tools open, keeping per
// element the model face it came from and that face's object and semantic
// tags: VTK's XML unstructured grid (.vtu, for ParaView), Gmsh's MSH 4.1
// ASCII, and Wavefront OBJ. `model` is the one the mesh was made from; it
// names the tags. An element whose face is not one of the model's has
// neither tag.
#ifndef MESH_WORKER_FORMATS_MODEL_WRITERS_H_
#define MESH_WORKER_FORMATS_MODEL_WRITERS_H_

#include <string>

#include "formats/polygon_model.h"

namespace mesh {

// Quads and then triangles as cells, in the mesh's order. Cell data (Int32):
// "face", the model face; "object" and "semantic", its tags (-1 for none).
// Field data (UInt8): "object_names" and "semantic_names", the names of tag
// 0, 1, ... in order, each as UTF-8 bytes ended by a 0 byte, as VTK lays out
// string arrays (numeric types, so that every reader takes them).
std::string ModelMeshToVtu(const Model& model, const ModelMesh& mesh);

// One surface entity per model face that has elements, its tag the face
// index + 1. Each entity belongs to two physical surfaces: first its
// semantic's, numbered semantic + 1 and named as the type ("RoofSurface";
// "(none)" for faces without one, numbered one past the last semantic),
// then its object's, numbered from 1 + that group count in object order
// and named "object ID" (faces without an object join none). Node tags are
// vertex indices + 1; element tags number the quads, then the triangles, in
// the mesh's order, from 1.
std::string ModelMeshToMsh(const Model& model, const ModelMesh& mesh);

// Vertices, then the elements grouped by object and semantic, in order of
// object and then semantic tag: "o ID" before each object's elements ("o "
// with no name for elements without one), "g TYPE" before each semantic's
// ("g " for none), so that ReadObjFile gives the tags back. Names have
// line breaks replaced by '_'; OBJ cannot hold them.
std::string ModelMeshToObj(const Model& model, const ModelMesh& mesh);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MODEL_WRITERS_H_
