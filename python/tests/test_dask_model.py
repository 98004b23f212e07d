"""Whole models meshed on a real LocalCluster of two worker processes: the
same mesh as Pool.mesh_model and meshctl model, through a lost worker, and
from the shell."""

import os
import signal
import subprocess
import sys
import types

import numpy as np
import pytest
from distributed import Client, LocalCluster

import meshworker
import meshworker.dask

BUILDINGS = "examples/models/rotterdam_subset.json"
HOUSE = "examples/models/DH_01_subs.city.json"


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as connected:
        yield connected


def assert_same_result(result, expected):
    for name in ("vertices", "quads", "triangles", "quad_faces", "triangle_faces"):
        got, want = np.asarray(getattr(result, name)), np.asarray(getattr(expected, name))
        assert got.shape == want.shape and got.tobytes() == want.tobytes(), name
    assert [face[:5] for face in result.faces] == [face[:5] for face in expected.faces]
    assert result.summary._replace(seconds=0) == expected.summary._replace(seconds=0)


def killing_after_first_answers(monkeypatch, victim):
    """Makes mesh_model's stitcher kill `victim` once the first partition's
    answers are in, while others are still out on the cluster."""
    real = meshworker.dask._core

    class Run:
        def __init__(self, *args, **kwargs):
            self._run = real.ModelRun(*args, **kwargs)
            self.killed = False

        def __getattr__(self, name):
            return getattr(self._run, name)

        def add(self, first, answers):
            if not self.killed:
                os.kill(victim, signal.SIGKILL)
                self.killed = True
            return self._run.add(first, answers)

    monkeypatch.setattr(meshworker.dask, "_core", types.SimpleNamespace(
        ModelRun=Run, default_model_target_size=real.default_model_target_size))


def test_same_mesh_as_the_local_pool_through_a_lost_worker(client, pool, monkeypatch):
    model = meshworker.read_model(BUILDINGS)
    expected = pool.mesh_model(model, target_size=2.0)
    assert expected.summary.meshed_faces > 100
    pids = client.run(os.getpid)
    victim = sorted(pids.values())[0]
    killing_after_first_answers(monkeypatch, victim)

    result = meshworker.dask.mesh_model(model, client, target_size=2.0, partition_size=4,
                                        workers=1, progress=False)
    assert victim not in client.run(os.getpid).values()
    assert_same_result(result, expected)
    assert result.model is model


def test_options_and_faces_left_out_as_the_local_pool(client, pool):
    vertices = np.array([[0, 0, 0], [0, 1, 0], [2, 0, 0], [2, 2, 0],
                         [5, 0, 0], [6, 0, 0], [6, 1, 0]], dtype=np.float64)
    model = meshworker.Model(vertices, [[0, 1, 2, 3], [4, 5, 6]])  # a bow tie, a triangle
    for options in (dict(target_size=0.3), dict(target_size=0.2, prefer_quads=False)):
        assert_same_result(meshworker.dask.mesh_model(model, client, progress=False, **options),
                           pool.mesh_model(model, **options))
    with pytest.raises(meshworker.Refused) as raised:
        meshworker.dask.mesh_model(model, client, target_size=0.3, keep_going=False,
                                   progress=False)
    assert raised.value.reason == "self_intersection"
    with pytest.raises(ValueError, match="target_size"):
        meshworker.dask.mesh_model(model, client)
    with pytest.raises(ValueError, match="partition_size"):
        meshworker.dask.mesh_model(model, client, target_size=0.3, partition_size=0)
    with pytest.raises(ValueError, match="missing.json"):
        meshworker.dask.mesh_model("missing.json", client, target_size=0.3)


def test_command_line_writes_the_file_meshctl_model_writes(client, meshctl, pool, tmp_path):
    env = dict(os.environ, MESHCTL_WORKER=pool.worker_path)
    subprocess.run([meshctl, "model", HOUSE, "-o", str(tmp_path / "meshctl.vtu"), "--jobs",
                    "2", "--no-progress"], check=True, capture_output=True, env=env)
    done = subprocess.run([sys.executable, "-m", "meshworker.dask", "model", HOUSE,
                           str(tmp_path / "dask.vtu"), "--scheduler", client.scheduler.address,
                           "--partition-size", "8", "--jobs", "1", "--no-progress"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    # Both chose the same default target size, and wrote the same bytes.
    assert "no target size given; using" in done.stderr
    assert "70 faces: 70 meshed" in done.stderr, done.stderr
    assert (tmp_path / "dask.vtu").read_bytes() == (tmp_path / "meshctl.vtu").read_bytes()

    done = subprocess.run([sys.executable, "-m", "meshworker.dask", "model", HOUSE,
                           str(tmp_path / "mesh.stl"), "--scheduler", client.scheduler.address,
                           "--target-size", "1", "--no-progress"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 1 and "cannot tell the format" in done.stderr, done.stderr
