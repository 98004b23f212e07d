"""Models from files and arrays, meshed through the C++ model layer: the same
mesh as `meshctl model`, closed solids closed, faces left out reported, and
the tags through meshio."""

import os
import pickle
import re
import subprocess

import meshio
import numpy as np
import pytest

import meshworker

BUILDING = "examples/models/DH_01_subs.city.json"

CUBE_VERTICES = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0],
                          [0, 0, 1], [1, 0, 1], [1, 1, 1], [0, 1, 1]], dtype=np.float64)
# Outward, counter-clockwise seen from outside.
CUBE_RINGS = np.array([[0, 3, 2, 1], [4, 5, 6, 7], [0, 1, 5, 4], [1, 2, 6, 5], [2, 3, 7, 6],
                       [3, 0, 4, 7]], dtype=np.int32)


def cube(**tags):
    faces = [dict(outer=ring, semantic="GroundSurface" if i == 0 else
                  "RoofSurface" if i == 1 else "WallSurface", **tags)
             for i, ring in enumerate(CUBE_RINGS)]
    return meshworker.Model(vertices=CUBE_VERTICES, faces=faces)


def element_edges(result):
    edges = []
    for elements in (result.quads, result.triangles):
        for element in elements:
            edges += [tuple(sorted((element[i], element[(i + 1) % len(element)])))
                      for i in range(len(element))]
    return edges


def area(vertices, element):
    corners = vertices[element]
    return 0.5 * np.linalg.norm(sum(np.cross(corners[i], corners[(i + 1) % len(corners)])
                                    for i in range(len(corners))))


def test_read_model_gives_the_files_faces_and_tags():
    model = meshworker.read_model(BUILDING)
    assert model.vertices.dtype == np.float64 and model.vertices.shape[1] == 3
    assert len(model.faces) == 70
    assert {"RoofSurface", "WallSurface", "GroundSurface"} <= set(model.semantics)
    assert model.objects and all(face.object in model.objects for face in model.faces)
    for face in model.faces:
        for ring in [face.outer] + face.holes:
            assert len(ring) >= 3 and all(0 <= i < len(model.vertices) for i in ring)
    # The same level asked for by name, and one the file does not have.
    assert len(meshworker.read_model(BUILDING, lod="2").faces) == 70
    with pytest.raises(ValueError, match="lod 1"):
        meshworker.read_model(BUILDING, lod=1)


def test_read_model_reads_obj_and_names_a_bad_file(tmp_path):
    path = tmp_path / "cube.obj"
    lines = [f"v {x} {y} {z}" for x, y, z in CUBE_VERTICES]
    lines += ["o box", "g WallSurface"] + ["f " + " ".join(str(i + 1) for i in ring)
                                            for ring in CUBE_RINGS]
    path.write_text("\n".join(lines) + "\n")
    model = meshworker.read_model(path)
    np.testing.assert_array_equal(model.vertices, CUBE_VERTICES)
    assert [face.outer for face in model.faces] == CUBE_RINGS.tolist()
    assert {(face.object, face.semantic) for face in model.faces} == {("box", "WallSurface")}

    with pytest.raises(ValueError, match="missing.city.json"):
        meshworker.read_model(tmp_path / "missing.city.json")
    broken = tmp_path / "broken.city.json"
    broken.write_text("{ not json")
    with pytest.raises(ValueError, match="broken.city.json"):
        meshworker.read_model(broken)


def test_model_from_arrays_is_checked():
    with pytest.raises(ValueError, match="vertices"):
        meshworker.Model(vertices=np.zeros((4, 2)), faces=[])
    with pytest.raises(ValueError, match=r"faces\[1\]"):
        meshworker.Model(vertices=CUBE_VERTICES, faces=[[0, 1, 2], [0.5, 1, 2]])
    with pytest.raises(ValueError, match="semantic"):
        meshworker.Model(vertices=CUBE_VERTICES, faces=[dict(outer=[0, 1, 2], semantic=3)])
    model = cube()
    assert model.semantics == ["GroundSurface", "RoofSurface", "WallSurface"]
    # A table given keeps its order; names it lacks are added after it.
    ordered = meshworker.Model(CUBE_VERTICES, model.faces, semantics=["WallSurface", "Other"])
    assert ordered.semantics == ["WallSurface", "Other", "GroundSurface", "RoofSurface"]


def test_a_cube_from_arrays_comes_out_closed(pool):
    result = pool.mesh_model(cube(object="box"), target_size=0.3)
    s = result.summary
    assert (s.faces, s.meshed_faces, s.open_edges, s.shared_edges) == (6, 6, 0, 12)
    assert [face.kind for face in result.faces] == ["meshed"] * 6
    assert sum(f.quads for f in result.faces) == len(result.quads)
    assert result.quads.dtype == np.int32 and result.vertices.dtype == np.float64
    assert len(result.quad_faces) == len(result.quads)
    assert set(result.quad_faces) | set(result.triangle_faces) == set(range(6))
    # Conforming and closed: every element edge belongs to exactly two elements.
    counts = np.unique(np.array(element_edges(result)), axis=0, return_counts=True)[1]
    assert (counts == 2).all()
    total = sum(area(result.vertices, e) for e in list(result.quads) + list(result.triangles))
    assert total == pytest.approx(6.0, rel=1e-9)
    back = pickle.loads(pickle.dumps(result))
    np.testing.assert_array_equal(back.quads, result.quads)
    assert back.summary == result.summary


def test_faces_left_out_are_reported_or_raised(pool):
    vertices = np.vstack([CUBE_VERTICES, [[2, 0, 0], [3, 0, 0], [4, 0, 0]]])
    faces = [dict(outer=ring) for ring in CUBE_RINGS] + [[8, 9, 10]]  # collinear
    model = meshworker.Model(vertices, faces)
    result = pool.mesh_model(model, target_size=0.5)
    assert result.faces[6].kind == "skipped" and result.faces[6].reason_key == "zero_area"
    assert result.summary.skipped_faces == 1 and result.summary.meshed_faces == 6

    with pytest.raises(ValueError, match="target_size"):
        pool.mesh_model(model)
    with pytest.raises(ValueError, match="weld_tolerance"):
        pool.mesh_model(model, target_size=0.5, weld_tolerance=-1)
    with pytest.raises(TypeError):
        pool.mesh_model(BUILDING, target_size=0.5)


def test_a_refused_face_is_left_out_or_ends_the_run(pool):
    vertices = np.array([[0, 0, 0], [0, 1, 0], [2, 0, 0], [2, 2, 0],
                         [5, 0, 0], [6, 0, 0], [6, 1, 0]], dtype=np.float64)
    model = meshworker.Model(vertices, [[0, 1, 2, 3], [4, 5, 6]])  # a bow tie, a triangle
    result = pool.mesh_model(model, target_size=0.3)
    refused, meshed = result.faces
    assert (refused.kind, refused.reason_key) == ("refused", "self_intersection")
    assert "self-intersects" in refused.reason
    assert meshed.kind == "meshed" and meshed.quads + meshed.triangles > 0
    assert set(result.quad_faces) | set(result.triangle_faces) == {1}
    assert (result.summary.refused_faces, result.summary.meshed_faces) == (1, 1)

    with pytest.raises(meshworker.Refused) as raised:
        pool.mesh_model(model, target_size=0.3, keep_going=False)
    assert raised.value.reason == "self_intersection"
    assert str(raised.value).startswith("face 0 refused: ")


def test_cancel_ends_a_model_run_under_way():
    import threading
    model = meshworker.read_model(BUILDING)
    with meshworker.Pool(workers=2, timeout=120) as own:
        # Fine enough to take many seconds; cancelled well before.
        timer = threading.Timer(0.5, own.cancel)
        timer.start()
        result = own.mesh_model(model, target_size=0.1)
        timer.join()
        failed = [face for face in result.faces if face.kind == "failed"]
        # Far more than the faces in flight at the cancel: the rest of the
        # run ended too.
        assert len(failed) > 2 * own.size
        assert {face.reason_key for face in failed} == {"call_failed"}
        assert result.summary.meshed_faces + len(failed) == len(model.faces)
        # The pool stays usable.
        assert own.mesh_model(model, target_size=1.0).summary.meshed_faces == 70


INTERRUPTED_RUN = """
import signal, sys
signal.signal(signal.SIGINT, signal.default_int_handler)
import meshworker
model = meshworker.read_model(sys.argv[1])
with meshworker.Pool(workers=2, timeout=120) as pool:
    print("meshing", flush=True)
    try:
        pool.mesh_model(model, target_size=0.1)
        print("finished")
    except KeyboardInterrupt:
        print("interrupted", flush=True)
"""


def test_ctrl_c_ends_a_model_run_and_the_interpreter_exits_cleanly():
    import signal
    import sys
    import time
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED_RUN, BUILDING],
                             stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline() == "meshing\n"
    time.sleep(1.0)
    child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=120)
    # The run, cancelled, is waited for, so nothing of it is left to abort
    # the interpreter on its way out.
    assert (out, child.returncode) == ("interrupted\n", 0)


def meshctl_model(meshctl, pool, path, out, target_size):
    ran = subprocess.run([meshctl, "model", path, "-o", str(out), "--target-size",
                          str(target_size), "--jobs", "2"],
                         check=True, capture_output=True, text=True,
                         env=dict(os.environ, MESHCTL_WORKER=pool.worker_path))
    counts = re.search(r"^mesh: ([\d,]+) vertices, ([\d,]+) quads, ([\d,]+) triangles$",
                       ran.stdout, re.M)
    assert counts, ran.stdout
    return tuple(int(n.replace(",", "")) for n in counts.groups())


def test_same_mesh_as_meshctl_model_and_tags_read_back(pool, meshctl, tmp_path):
    model = meshworker.read_model(BUILDING)
    result = pool.mesh_model(model, target_size=0.5)
    expected = meshctl_model(meshctl, pool, BUILDING, tmp_path / "meshctl.vtu", 0.5)
    assert (len(result.vertices), len(result.quads), len(result.triangles)) == expected
    assert result.summary.meshed_faces == 70 and result.summary.open_edges == 0

    mesh = result.to_meshio()
    mesh.write(tmp_path / "python.vtu")
    back = meshio.read(tmp_path / "python.vtu")
    theirs = meshio.read(tmp_path / "meshctl.vtu")
    np.testing.assert_array_equal(back.points, result.vertices)
    faces = np.concatenate([result.quad_faces, result.triangle_faces])
    np.testing.assert_array_equal(np.concatenate(back.cell_data["face"]), faces)
    semantic_of = [model.semantics.index(f.semantic) for f in model.faces]
    object_of = [model.objects.index(f.object) for f in model.faces]
    np.testing.assert_array_equal(np.concatenate(back.cell_data["semantic"]),
                                  np.array(semantic_of)[faces])
    np.testing.assert_array_equal(np.concatenate(back.cell_data["object"]),
                                  np.array(object_of)[faces])
    # meshio writes no field data to .vtu; the names are laid out as in
    # meshctl's file.
    for name in ("object_names", "semantic_names"):
        np.testing.assert_array_equal(mesh.field_data[name], theirs.field_data[name])
    names = bytes(mesh.field_data["semantic_names"]).split(b"\0")[:-1]
    assert [n.decode() for n in names] == model.semantics
    # The same cell data names as meshctl's file, and the same tags per
    # semantic type.
    assert set(theirs.cell_data) == set(back.cell_data)
    for name in ("semantic", "object"):
        ours = np.unique(np.concatenate(back.cell_data[name]), return_counts=True)
        other = np.unique(np.concatenate(theirs.cell_data[name]), return_counts=True)
        np.testing.assert_array_equal(ours[0], other[0])
