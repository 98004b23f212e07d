"""Requests checked on the way in, and read from meshctl's JSON."""

import numpy as np
import pytest

import meshworker
from conftest import square

SQUARE_POINTS = [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]]
SQUARE_SEGMENTS = [[0, 1, 1, 0], [1, 2, 1, 0], [2, 3, 1, 0], [3, 0, 1, 0]]


def make(**changes):
    fields = dict(points=SQUARE_POINTS, segments=SQUARE_SEGMENTS, target_size=0.25)
    fields.update(changes)
    return meshworker.Request(**fields)


def test_lossless_dtypes_are_converted():
    request = make(points=np.array(SQUARE_POINTS, dtype=np.float32),
                   segments=np.array(SQUARE_SEGMENTS, dtype=np.int64),
                   interior_only=np.array([], dtype=np.uint8), domain_target_sizes=[1],
                   plane_normal=[0, 0, 1], target_size=np.float32(0.25))
    assert request.points.dtype == np.float64 and request.points.flags.c_contiguous
    assert request.segments.dtype == np.int32 and request.segments.shape == (4, 4)
    assert request.interior_only.dtype == np.int32 and request.interior_only.shape == (0,)
    assert request.domain_target_sizes.dtype == np.float64
    assert request.plane_normal.tolist() == [0.0, 0.0, 1.0]
    assert request.target_size == 0.25
    # Integer points become the same float64 values.
    assert make().points.tolist() == [[float(v) for v in p] for p in SQUARE_POINTS]
    # A transposed view is copied into rows.
    transposed = make(points=np.array(SQUARE_POINTS, dtype=np.float64).T.copy().T)
    assert transposed.points.flags.c_contiguous


@pytest.mark.parametrize("changes, field, words", [
    (dict(points=[[0, 0], [1, 0], [1, 1]]), "points", "shape (N, 3)"),
    (dict(points=[0.0, 1.0, 2.0]), "points", "shape (N, 3)"),
    (dict(points=[[0, 0, 0], [1, 0]]), "points", "not an array"),
    (dict(points=np.zeros((4, 3), dtype=np.complex128)), "points", "complex128"),
    (dict(points=[["a", "b", "c"]] * 4), "points", "dtype"),
    (dict(points=np.full((4, 3), 2**60)), "points", "too large"),
    (dict(segments=[[0, 1, 1]] * 4), "segments", "shape (N, 4)"),
    (dict(segments=np.array(SQUARE_SEGMENTS, dtype=np.float64)), "segments", "int32"),
    (dict(segments=np.array(SQUARE_SEGMENTS, dtype=np.int64) + 2**40), "segments",
     "int32 range"),
    (dict(interior_only=[[0]]), "interior_only", "1-D"),
    (dict(interior_only=[0.5]), "interior_only", "int32"),
    (dict(domain_target_sizes=[[1.0]]), "domain_target_sizes", "1-D"),
    (dict(target_size="0.25"), "target_size", "number"),
    (dict(target_size=True), "target_size", "number"),
    (dict(prefer_quads=1), "prefer_quads", "True or False"),
    (dict(all_quads="yes"), "all_quads", "True or False"),
    (dict(keep_boundary=1), "keep_boundary", "True or False"),
    (dict(plane_normal=[0, 1]), "plane_normal", "3 values"),
])
def test_bad_fields_are_named(changes, field, words):
    with pytest.raises(ValueError) as raised:
        make(**changes)
    message = str(raised.value)
    assert message.startswith(field + ":"), message
    assert words in message, message


def test_required_fields_are_keywords():
    with pytest.raises(TypeError):
        meshworker.Request(points=SQUARE_POINTS, segments=SQUARE_SEGMENTS)
    with pytest.raises(TypeError):
        meshworker.Request(SQUARE_POINTS, SQUARE_SEGMENTS, 0.25)


def test_json_files_read_as_meshctl_reads_them(tmp_path):
    request = meshworker.read_request("examples/unit_square.json")
    assert request.points.tolist() == [[float(v) for v in p] for p in SQUARE_POINTS]
    assert request.segments.tolist() == SQUARE_SEGMENTS
    assert request.target_size == 0.25
    assert request.prefer_quads is True and request.plane_normal is None
    assert request.interior_only.shape == (0,)

    # Every field written out and read back is the same request.
    full = square(interior_only=[], domain_target_sizes=[0.125], prefer_quads=False,
                  plane_normal=[0, 0, 2], keep_boundary=True, all_quads=True)
    again = meshworker.Request.from_json(full.to_json())
    for name in ("points", "segments", "interior_only", "domain_target_sizes", "plane_normal"):
        np.testing.assert_array_equal(getattr(again, name), getattr(full, name))
    for name in ("target_size", "prefer_quads", "keep_boundary", "all_quads"):
        assert getattr(again, name) == getattr(full, name), name

    # meshctl's own messages: the file, the position, the field.
    path = tmp_path / "bad.json"
    path.write_text('{"points": [[0, 0, 0]],\n "segments": [[0, 1, "x", 0]], "target_size": 1}')
    with pytest.raises(ValueError) as raised:
        meshworker.read_request(path)
    message = str(raised.value)
    assert message.startswith(f"{path}:2:"), message
    assert "segments[0][2]" in message, message
    path.write_text('{"points": [], "segments": [], "target_size": 1, "prefer_quad": true}')
    with pytest.raises(ValueError, match="prefer_quad"):
        meshworker.read_request(path)
