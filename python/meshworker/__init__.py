"""Planar regions meshed by supervised mesh-worker processes, from Python.

    import meshworker
    request = meshworker.Request(points=..., segments=..., target_size=0.1)
    with meshworker.Pool() as pool:
        result = pool.mesh(request)          # numpy arrays
        results = pool.map(many_requests)    # in parallel, in input order

meshworker.dask.mesh_many spreads a batch over a Dask cluster.
"""

from ._pool import (BadAnswer, Cancelled, MeshWorkerError, OutOfMemory, Pool, Refused,
                    StartFailed, TimedOut, TooLarge, WorkerDied, default_worker_path)
from ._request import Request, read_request
from ._result import MeshResult

__all__ = [
    "BadAnswer", "Cancelled", "MeshResult", "MeshWorkerError", "OutOfMemory", "Pool", "Refused",
    "Request", "StartFailed", "TimedOut", "TooLarge", "WorkerDied", "default_worker_path",
    "read_request",
]
