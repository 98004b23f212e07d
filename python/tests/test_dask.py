"""meshworker.dask on a real LocalCluster of two worker processes."""

import os
import signal

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
    # it started, the replacement for the killed one included.
    for starts in client.run(process_pool_starts).values():
        assert starts == [1]


def test_bag_partitions_in_order(client, pool):
    requests = faces(12)
    expected = pool.map(requests, return_exceptions=True, progress=False)
    bag = dask.bag.from_sequence(requests, npartitions=3)
    outcomes = list(meshworker.dask.mesh_many(bag, client, workers=1, progress=False))
    assert len(outcomes) == len(requests)
    for outcome, want in zip(outcomes, expected):
        assert_same(outcome, want)
