"""Planar regions meshed by supervised mesh-worker processes, from Python.

    import meshworker
    request = meshworker.Request(points=..., segments=..., target_size=0.1)
    with meshworker.Pool() as pool:
        result = pool.mesh(request)          # numpy arrays
        results = pool.map(many_requests)    # in parallel, in input order

    model = meshworker.read_model("building.city.json")   # or Model(vertices=, faces=)
    with meshworker.Pool() as pool:
        meshed = pool.mesh_model(model, target_size=0.5)  # one conforming mesh

meshworker.dask.mesh_many spreads a batch over a Dask cluster.
"""

from ._pool import (BadAnswer, Cancelled, MeshWorkerError, OutOfMemory, Pool, Refused,
                    StartFailed, TimedOut, TooLarge, WorkerDied, default_worker_path)
from ._model import Face, FaceOutcome, Model, ModelMeshResult, ModelMeshSummary, read_model
from ._request import Request, read_request
from ._result import MeshResult

__all__ = [
    "BadAnswer", "Cancelled", "Face", "FaceOutcome", "MeshResult", "Model", "ModelMeshResult",
    "ModelMeshSummary", "MeshWorkerError", "OutOfMemory", "Pool", "Refused",
    "Request", "StartFailed", "TimedOut", "TooLarge", "WorkerDied", "default_worker_path",
    "read_model", "read_request",
]
