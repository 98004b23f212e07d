"""meshworker.dask on a real LocalCluster of two worker processes."""

import collections
import json
import os
import signal
import subprocess
import sys
import threading
import time

import dask.bag
import numpy as np
import pytest
from distributed import Client, LocalCluster

import meshworker
import meshworker.dask
from conftest import square


def faces(count):
    """Squares of a few sizes and places, every 17th one refused."""
    return [square(size=1 + i % 4, target_size=0.25 + 0.05 * (i % 3), origin=(i, -i),
                   clockwise=i % 17 == 5) for i in range(count)]


def assert_same(outcome, expected):
    if isinstance(expected, Exception):
        assert type(outcome) is type(expected)
        assert outcome.diagnostics == expected.diagnostics
        return
    for name in ("vertices", "quads", "triangles", "point_vertex", "quad_domains",
                 "triangle_domains"):
        assert getattr(outcome, name).tobytes() == getattr(expected, name).tobytes(), name
    assert [c.tolist() for c in outcome.segment_chains] == \
        [c.tolist() for c in expected.segment_chains]


def process_pool_starts():
    return [pool.starts for pool in meshworker.dask._pools.values()]


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as connected:
        yield connected


def test_batch_in_order_through_a_lost_worker(client, pool):
    requests = faces(200)
    expected = pool.map(requests, return_exceptions=True, progress=False)
    pids = client.run(os.getpid)
    victim = sorted(pids)[0]

    outcomes = []
    for outcome in meshworker.dask.mesh_many(requests, client, chunk_size=10, workers=1,
                                             progress=False):
        if len(outcomes) == 10:
            # Its tasks in flight are lost with it; Dask runs them again.
            os.kill(pids[victim], signal.SIGKILL)
        outcomes.append(outcome)

    assert pids[victim] not in client.run(os.getpid).values()
    assert len(outcomes) == len(requests)
    for outcome, want in zip(outcomes, expected):
        assert_same(outcome, want)
    assert any(isinstance(outcome, meshworker.Refused) for outcome in outcomes)
    # Each Dask worker process meshed all its tasks with the one mesh worker
    # it started, the replacement for the killed one included; under load the
    # replacement may come up after the survivor took every task left, and
    # then it has started none.
    for starts in client.run(process_pool_starts).values():
        assert starts in ([], [1])


def test_bag_partitions_in_order(client, pool):
    requests = faces(12)
    expected = pool.map(requests, return_exceptions=True, progress=False)
    bag = dask.bag.from_sequence(requests, npartitions=3)
    outcomes = list(meshworker.dask.mesh_many(bag, client, workers=1, progress=False))
    assert len(outcomes) == len(requests)
    for outcome, want in zip(outcomes, expected):
        assert_same(outcome, want)


# --- JSON lines, as meshctl batch reads and writes them ----------------------

def request_line(request):
    return json.dumps(json.loads(request.to_json()))


def write_jsonl(path, count):
    """`count` faces, with invalid, blank and CRLF-ended lines among them and
    no newline after the last."""
    lines = [request_line(face) for face in faces(count)]
    lines.insert(3, '{"points": []}')
    lines.insert(5, "")
    lines.insert(6, " \t\r")
    lines.insert(8, "not json")
    lines.insert(11, lines[10][:-1] + ', "colour": 3}')
    lines[12] += "\r"
    path.write_bytes("\n".join(lines).encode())


def meshctl_batch(meshctl, source, target):
    done = subprocess.run([meshctl, "batch", str(source), "-o", str(target), "--jobs", "2",
                           "--no-progress"], capture_output=True, text=True)
    assert done.returncode == 2, done.stderr
    return target.read_bytes()


def test_jsonl_writes_the_lines_meshctl_batch_writes(client, meshctl, tmp_path):
    source = tmp_path / "in.jsonl"
    write_jsonl(source, 40)
    expected = meshctl_batch(meshctl, source, tmp_path / "meshctl.jsonl")

    counts = meshworker.dask.mesh_jsonl(source, tmp_path / "out.jsonl", client,
                                        partition_size=7, workers=1, progress=False)
    assert (tmp_path / "out.jsonl").read_bytes() == expected
    lines = [json.loads(line) for line in expected.splitlines()]
    assert counts == collections.Counter(line["outcome"] for line in lines)
    assert counts["invalid"] == 3 and counts["refused"] >= 2 and counts["meshed"] >= 30
    assert lines[3] == {"line": 4, "ok": False, "outcome": "invalid",
                        "error": "4:1: field 'segments': missing"}
    assert [line["line"] for line in lines[:8]] == [1, 2, 3, 4, 5, 8, 9, 10]

    # The command line, against the same cluster.
    done = subprocess.run([sys.executable, "-m", "meshworker.dask", str(source),
                           str(tmp_path / "cli.jsonl"), "--scheduler", client.scheduler.address,
                           "--partition-size", "16", "--jobs", "1", "--no-progress"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 2, done.stderr
    assert (tmp_path / "cli.jsonl").read_bytes() == expected
    assert (f"{sum(counts.values())} requests in " in done.stderr and
            f"{counts['meshed']} meshed, {counts['refused']} refused, 0 timed out, "
            "3 invalid\n" in done.stderr), done.stderr

    # And with a cluster of its own, of two processes.
    done = subprocess.run([sys.executable, "-m", "meshworker.dask", str(source),
                           str(tmp_path / "own.jsonl"), "--processes", "2",
                           "--partition-size", "16", "--jobs", "1", "--no-progress"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 2, done.stderr
    assert (tmp_path / "own.jsonl").read_bytes() == expected


def test_jsonl_through_a_lost_worker(client, meshctl, tmp_path):
    source = tmp_path / "in.jsonl"
    target = tmp_path / "out.jsonl"
    write_jsonl(source, 150)
    expected = meshctl_batch(meshctl, source, tmp_path / "meshctl.jsonl")
    pids = sorted(client.run(os.getpid).values())
    killed = threading.Event()

    def kill_once_writing_starts():
        while not killed.is_set():
            if target.exists() and target.stat().st_size > 0:
                os.kill(pids[0], signal.SIGKILL)
                killed.set()
            time.sleep(0.002)

    killer = threading.Thread(target=kill_once_writing_starts)
    killer.start()
    try:
        meshworker.dask.mesh_jsonl(source, target, client, partition_size=5, workers=1,
                                   progress=False)
    finally:
        killed.set()
        killer.join()
    assert pids[0] not in client.run(os.getpid).values()
    # Not written twice, nothing missing, in order.
    assert target.read_bytes() == expected


def test_jsonl_empty_and_unreadable(client, tmp_path):
    (tmp_path / "blank.jsonl").write_bytes(b"\n \n")
    counts = meshworker.dask.mesh_jsonl(tmp_path / "blank.jsonl", tmp_path / "out.jsonl", client,
                                        progress=False)
    assert counts == {} and (tmp_path / "out.jsonl").read_bytes() == b""
    with pytest.raises(FileNotFoundError):
        meshworker.dask.mesh_jsonl(tmp_path / "missing.jsonl", tmp_path / "out.jsonl", client)
    with pytest.raises(ValueError, match="partition_size"):
        meshworker.dask.mesh_jsonl(tmp_path / "blank.jsonl", tmp_path / "out.jsonl", client,
                                   partition_size=0)
