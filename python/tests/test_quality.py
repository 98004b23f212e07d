"""MeshResult.quality(): the numbers `meshctl stats --json` gives, from the
same code, and where the worst element is."""

import json
import os
import subprocess

import numpy as np
import pytest

import meshworker

from conftest import square


@pytest.mark.parametrize("example", ["two_domains", "tilted_face"])
def test_quality_is_what_meshctl_stats_says(pool, meshctl, tmp_path, example):
    out = tmp_path / "answer.json"
    subprocess.run([meshctl, "mesh", f"examples/{example}.json", "-o", str(out), "-q"],
                   check=True, env=dict(os.environ, MESHCTL_WORKER=pool.worker_path))
    stats = subprocess.run([meshctl, "stats", "--json", str(out)], check=True,
                           capture_output=True, text=True).stdout
    result = pool.mesh(meshworker.read_request(f"examples/{example}.json"))
    assert result.quality() == json.loads(stats)


def test_worst_element_is_named_and_counted(pool):
    result = pool.mesh(square(target_size=0.25))
    quality = result.quality()
    assert quality["quads"] == len(result.quads) == 16
    assert quality["poor"] == 0
    assert quality["min_quality"] == pytest.approx(1.0)
    assert quality["worst"]["element"] == "quad"
    assert quality["domains"][0]["domain"] == 1

    # A square beside a quad with a straight corner: the measures follow the
    # arrays, and the bad quad is found.
    vertices = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0],
                         [2, -0.01, 0], [3, 0, 0]], dtype=np.float64)
    quads = np.array([[0, 1, 2, 3], [1, 4, 5, 2]], dtype=np.int32)
    made = meshworker.MeshResult(vertices, quads, np.zeros((0, 3), np.int32),
                                 np.array([4, 2], np.int32), np.zeros(0, np.int32),
                                 np.zeros(0, np.int32), [])
    poor = made.quality()
    assert poor["min_quality"] < 0.3
    assert poor["poor"] == 1
    assert poor["worst"] == {"domain": 2, "element": "quad", "index": 1}
    assert [d["domain"] for d in poor["domains"]] == [2, 4]
    assert sum(poor["quality_histogram"]) == 2


def test_empty_and_malformed_results():
    empty = meshworker.MeshResult(np.zeros((0, 3)), np.zeros((0, 4), np.int32),
                                  np.zeros((0, 3), np.int32), np.zeros(0, np.int32),
                                  np.zeros(0, np.int32), np.zeros(0, np.int32), [])
    quality = empty.quality()
    assert quality["quads"] == 0 and quality["min_quality"] is None
    assert quality["domains"] == [] and "worst" not in quality

    stray = meshworker.MeshResult(np.zeros((3, 3)), np.zeros((0, 4), np.int32),
                                  np.array([[0, 1, 7]], np.int32), np.zeros(0, np.int32),
                                  np.array([1], np.int32), np.zeros(0, np.int32), [])
    with pytest.raises(ValueError, match="names no vertex"):
        stray.quality()
