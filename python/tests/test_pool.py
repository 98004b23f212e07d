"""Pool: results against the C++ client's, each way a request fails, map."""

import json
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import meshworker
from conftest import square


def element_areas(vertices, elements):
    """Areas in the z = 0 plane (shoelace), one per element."""
    xy = vertices[:, :2][elements]
    x, y = xy[..., 0], xy[..., 1]
    return 0.5 * (x * np.roll(y, -1, axis=1) - np.roll(x, -1, axis=1) * y).sum(axis=1)


def test_unit_square_mesh_holds_its_invariants(pool):
    request = square(target_size=0.2)
    result = pool.mesh(request)
    assert result.vertices.dtype == np.float64 and result.vertices.shape[1] == 3
    assert result.quads.dtype == np.int32 and result.quads.shape[1] == 4
    assert result.triangles.dtype == np.int32 and result.triangles.shape[1] == 3
    assert len(result.quads) > 0
    assert len(result.quad_domains) == len(result.quads)
    assert len(result.triangle_domains) == len(result.triangles)
    assert set(result.quad_domains) | set(result.triangle_domains) == {1}
    # The arrays are views of the decoded answer, not copies.
    assert not result.vertices.flags.owndata and not result.quads.flags.owndata

    areas = np.concatenate([element_areas(result.vertices, result.quads),
                            element_areas(result.vertices, result.triangles)])
    assert (areas > 0).all()
    assert areas.sum() == pytest.approx(1.0, rel=1e-12)

    np.testing.assert_allclose(result.vertices[result.point_vertex], request.points, atol=1e-12)
    assert len(result.segment_chains) == len(request.segments)
    for (a, b, _, _), chain in zip(request.segments, result.segment_chains):
        assert chain[0] == result.point_vertex[a] and chain[-1] == result.point_vertex[b]


def test_triangles_only_when_asked(pool):
    result = pool.mesh(square(prefer_quads=False))
    assert len(result.quads) == 0 and len(result.triangles) > 0
    assert element_areas(result.vertices, result.triangles).sum() == pytest.approx(1.0)


def test_all_quads_when_asked(pool):
    result = pool.mesh(square(target_size=0.5, all_quads=True, keep_boundary=True))
    assert len(result.triangles) == 0 and len(result.quads) > 0
    assert element_areas(result.vertices, result.quads).sum() == pytest.approx(1.0)
    # Each side kept as two edges through its midpoint.
    for (a, b, _, _), chain in zip(square().segments, result.segment_chains):
        assert len(chain) == 3
        np.testing.assert_allclose(result.vertices[chain[1]],
                                   (result.vertices[chain[0]] + result.vertices[chain[2]]) / 2)


@pytest.mark.parametrize("example", ["unit_square", "two_domains", "plate_with_holes",
                                     "tilted_face"])
def test_same_answer_as_meshctl(pool, meshctl, tmp_path, example):
    path = f"examples/{example}.json"
    out = tmp_path / "answer.json"
    subprocess.run([meshctl, "mesh", path, "-o", str(out), "-q"], check=True,
                   env=dict(os.environ, MESHCTL_WORKER=pool.worker_path))
    expected = json.loads(out.read_text())
    result = pool.mesh(meshworker.read_request(path))
    # JSON doubles are written shortest-exact, so equality is bit for bit.
    for name in ("vertices", "quads", "triangles", "point_vertex", "quad_domains",
                 "triangle_domains"):
        got = getattr(result, name)
        want = np.array(expected[name], dtype=got.dtype).reshape(got.shape)
        assert got.tobytes() == want.tobytes(), name
    assert [c.tolist() for c in result.segment_chains] == expected["segment_chains"]


def test_refusal_carries_the_diagnostic_line(pool):
    with pytest.raises(meshworker.Refused) as raised:
        pool.mesh(square(clockwise=True))
    refused = raised.value
    assert "lies on the outer side of its boundary" in refused.diagnostic
    assert refused.diagnostic in refused.diagnostics
    assert str(refused) == refused.diagnostic
    assert isinstance(refused, meshworker.MeshWorkerError)
    assert refused.reason == "domain_outside_boundary"


def bowtie():
    # Lobes of unequal area, so that the loop encloses some.
    points = np.array([[0, 0, 0], [0, 1, 0], [2, 0, 0], [2, 2, 0]], dtype=np.float64)
    segments = np.array([[0, 1, 1, 0], [1, 2, 1, 0], [2, 3, 1, 0], [3, 0, 1, 0]], dtype=np.int32)
    return meshworker.Request(points=points, segments=segments, target_size=0.25)


def test_refusal_reason_is_the_checks_key_and_survives_pickling(pool):
    import pickle
    with pytest.raises(meshworker.Refused) as raised:
        pool.mesh(bowtie())
    refused = raised.value
    assert refused.reason == "self_intersection"
    assert "self-intersects" in str(refused)
    back = pickle.loads(pickle.dumps(refused))
    assert type(back) is meshworker.Refused
    assert (back.reason, back.message, back.diagnostics) == (
        refused.reason, refused.message, refused.diagnostics)
    # A line the client does not know has no key, not a guessed one.
    assert meshworker.Refused("something new").reason is None


def test_timeout_costs_only_its_request():
    with meshworker.Pool(workers=1, timeout=0.05) as pool:
        with pytest.raises(meshworker.TimedOut) as raised:
            pool.mesh(square(target_size=0.001))
        assert "timed out" in str(raised.value)
    # The worker that was killed is replaced for the next request.
    with meshworker.Pool(workers=1, timeout=60) as pool:
        assert len(pool.mesh(square()).quads) > 0


def test_each_lost_worker_has_its_exception(fake_worker, monkeypatch, tmp_path):
    monkeypatch.setenv("FAKE_WORKER_MODE", "exit")
    with meshworker.Pool(workers=1, timeout=60, worker_path=fake_worker) as pool:
        with pytest.raises(meshworker.WorkerDied) as raised:
            pool.mesh(square())
        assert raised.value.exit_code == 7
    monkeypatch.setenv("FAKE_WORKER_MODE", "garbage")
    with meshworker.Pool(workers=1, timeout=60, worker_path=fake_worker) as pool:
        with pytest.raises(meshworker.BadAnswer):
            pool.mesh(square())
    # A directory passes the executable check but cannot be run.
    with meshworker.Pool(workers=1, worker_path=tmp_path) as pool:
        with pytest.raises(meshworker.StartFailed):
            pool.mesh(square())
    with pytest.raises(FileNotFoundError, match="worker_path names"):
        meshworker.Pool(worker_path=tmp_path / "missing")
    monkeypatch.setenv("MESHWORKER_WORKER", str(tmp_path / "missing"))
    with pytest.raises(FileNotFoundError, match="MESHWORKER_WORKER names"):
        meshworker.Pool()


def test_a_worker_over_max_memory_is_out_of_memory_and_the_next_request_meshes():
    # A 30 m square at 3 cm asks Netgen for about a million elements, far
    # more than 192 MiB of address space holds; a unit square needs little.
    with meshworker.Pool(workers=1, timeout=300, max_memory=192 << 20) as pool:
        with pytest.raises(meshworker.OutOfMemory) as raised:
            pool.mesh(square(size=30.0, target_size=0.03))
        assert isinstance(raised.value, meshworker.WorkerDied)
        assert "out of memory" in str(raised.value)
        assert len(pool.mesh(square()).quads) > 0
        assert pool.starts == 2
    with pytest.raises(ValueError, match="max_memory"):
        meshworker.Pool(max_memory=0)


def test_cancel_ends_queued_and_running_requests_and_the_pool_goes_on(fake_worker, monkeypatch):
    monkeypatch.setenv("FAKE_WORKER_MODE", "silent")
    with meshworker.Pool(workers=1, timeout=60, worker_path=fake_worker) as pool:
        results = []
        waiter = threading.Thread(
            target=lambda: results.extend(pool.map([square()] * 20, return_exceptions=True)))
        waiter.start()
        time.sleep(0.5)
        pool.cancel()
        waiter.join(5)
        assert not waiter.is_alive()
        assert len(results) == 20
        assert all(isinstance(result, meshworker.Cancelled) for result in results), results
        # Workers started from now on refuse at once instead of hanging.
        monkeypatch.setenv("FAKE_WORKER_MODE", "fail")
        with pytest.raises(meshworker.Refused):
            pool.mesh(square())


def test_waiting_releases_the_gil(fake_worker, monkeypatch):
    monkeypatch.setenv("FAKE_WORKER_MODE", "silent")
    with meshworker.Pool(workers=1, timeout=4, worker_path=fake_worker) as pool:
        outcome = []

        def mesh_in_background():
            try:
                pool.mesh(square())
            except meshworker.TimedOut as error:
                outcome.append(error)

        waiter = threading.Thread(target=mesh_in_background)
        waiter.start()
        time.sleep(0.5)
        # Pure Python work: it could not run at all if the waiting thread
        # held the GIL until its 4 s timeout.
        spins = 0
        started = time.monotonic()
        while time.monotonic() - started < 0.5:
            spins += 1
        still_waiting = waiter.is_alive()
        waiter.join()
        assert still_waiting
        assert len(outcome) == 1


def test_map_keeps_input_order_and_can_return_errors(pool):
    # Sizes that take different times, so answers arrive out of order.
    requests = [square(size=1 + (i % 5), target_size=0.1 if i % 3 == 0 else 0.5,
                       origin=(i, 0)) for i in range(24)]
    results = pool.map(requests, progress=False)
    assert len(results) == len(requests)
    for request, result in zip(requests, results):
        np.testing.assert_allclose(result.vertices[result.point_vertex], request.points)

    mixed = [square(), square(clockwise=True), square(size=2)]
    with pytest.raises(meshworker.Refused):
        pool.map(mixed, progress=False)
    outcomes = pool.map(iter(mixed), return_exceptions=True, progress=False)
    assert isinstance(outcomes[0], meshworker.MeshResult)
    assert isinstance(outcomes[1], meshworker.Refused)
    assert isinstance(outcomes[2], meshworker.MeshResult)
    assert outcomes[2].vertices[:, :2].max() == 2.0
    assert pool.map([], progress=False) == []


def test_map_draws_progress_when_asked(pool, capsys):
    pool.map([square()] * 3, progress=True)
    assert "3/3" in capsys.readouterr().err
