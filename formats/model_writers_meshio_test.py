"""The model writers' .vtu and .msh files as meshio reads them: every
element keeps its model face, object and semantic, and the tag names.

Usage: model_writers_meshio_test.py MODEL_EXPORT_SAMPLE MODEL...
(exit 77: meshio missing)

model-export-sample writes each model's stand-in mesh and expected.json,
the corners, face, object and semantic of every element in the mesh's order
(quads, then triangles), and the vertices."""

import json
import os
import subprocess
import sys
import tempfile

try:
    import meshio
    import numpy as np
except ImportError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)


def names(field):
    """The 0-ended UTF-8 names of a UInt8 field data array."""
    return [part.decode("utf-8") for part in bytes(field.astype(np.uint8)).split(b"\0")[:-1]]


def check_vtu(path, expected):
    mesh = meshio.read(path)
    kinds = [block.type for block in mesh.cells]
    assert kinds == sorted(kinds, key=lambda k: k != "quad"), kinds
    corners = [c.tolist() for block in mesh.cells for c in block.data]
    assert corners == expected["corners"], path
    assert np.array_equal(mesh.points, np.array(expected["vertices"])), path
    for key in ("face", "object", "semantic"):
        got = np.concatenate(mesh.cell_data[key]).tolist()
        assert got == expected[key], (path, key, got[:10], expected[key][:10])
    assert names(mesh.field_data["object_names"]) == expected["objects"], path
    assert names(mesh.field_data["semantic_names"]) == expected["semantics"], path


def check_msh(path, expected):
    mesh = meshio.read(path)
    groups = {tag: name for name, (tag, dim) in mesh.field_data.items() if dim == 2}
    faces = np.concatenate(mesh.cell_data["gmsh:geometrical"]) - 1
    physical = np.concatenate(mesh.cell_data["gmsh:physical"])
    # meshio gives each element its entity's first physical group, the
    # semantic one; the object groups come back as cell sets.
    objects = np.full(len(faces), -1)
    for o, name in enumerate(expected["objects"]):
        members = mesh.cell_sets.get("object " + name.replace("\n", "_").replace('"', "'"))
        offset = 0
        for block, chosen in zip(mesh.cells, members or []):
            objects[offset + np.asarray(chosen, dtype=int)] = o
            offset += len(block.data)
    # meshio orders the elements by entity, so compare them as a multiset
    # of (corners, face, object, semantic).
    semantics = expected["semantics"]
    got = []
    for i, corners in enumerate(c for block in mesh.cells for c in block.data):
        name = groups[int(physical[i])]
        got.append((tuple(int(c) for c in corners), int(faces[i]), int(objects[i]),
                    semantics.index(name) if name in semantics else -1))
    want = [(tuple(c), f, o, s) for c, f, o, s in
            zip(expected["corners"], expected["face"], expected["object"], expected["semantic"])]
    assert sorted(got) == sorted(want), (path, sorted(got)[:5], sorted(want)[:5])
    assert np.array_equal(mesh.points, np.array(expected["vertices"])), path


def main():
    tool, models = sys.argv[1], sys.argv[2:]
    for model in models:
        with tempfile.TemporaryDirectory() as work:
            subprocess.run([tool, model, work], check=True)
            expected = json.load(open(os.path.join(work, "expected.json")))
            check_vtu(os.path.join(work, "model.vtu"), expected)
            check_msh(os.path.join(work, "model.msh"), expected)
            print(f"{model}: {len(expected['face'])} elements, "
                  f"{len(expected['objects'])} objects, {len(expected['semantics'])} semantics "
                  "read back by meshio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
