"""Shared requests and pools for the meshworker tests.

Run by ctest (python_tests) with build/python on PYTHONPATH, MESHCTL_PATH
and FAKE_WORKER_PATH naming the build's meshctl and fake worker.
"""

import os

import numpy as np
import pytest

import meshworker


def square(size=1.0, target_size=0.25, clockwise=False, origin=(0.0, 0.0), **fields):
    """A square of domain 1, counter-clockwise seen from +z unless asked."""
    x, y = origin
    points = np.array([[x, y, 0], [x + size, y, 0], [x + size, y + size, 0], [x, y + size, 0]],
                      dtype=np.float64)
    segments = np.array([[0, 1, 1, 0], [1, 2, 1, 0], [2, 3, 1, 0], [3, 0, 1, 0]], dtype=np.int32)
    if clockwise:
        # Domain 1 still on the left, which is the outside of the loop as
        # seen from +z; without a normal the worker would look from -z.
        points = points[::-1].copy()
        fields.setdefault("plane_normal", (0, 0, 1))
    return meshworker.Request(points=points, segments=segments, target_size=target_size,
                              **fields)


@pytest.fixture(scope="session")
def pool():
    with meshworker.Pool(workers=2, timeout=120) as shared:
        yield shared


def tool_path(variable):
    path = os.environ.get(variable)
    if not path:
        pytest.skip(f"{variable} is not set (run through ctest)")
    return path


@pytest.fixture
def fake_worker():
    return tool_path("FAKE_WORKER_PATH")


@pytest.fixture
def meshctl():
    return tool_path("MESHCTL_PATH")
