"""meshworker.dask: a batch too large for one machine, meshed on a Dask cluster.

    from distributed import Client
    import meshworker.dask
    client = Client("scheduler-host:8786")
    for result in meshworker.dask.mesh_many(requests, client):
        ...   # a MeshResult, or the exception that stands for a request not meshed

Each Dask worker process keeps one meshworker.Pool for the whole run, so
mesh workers start once per machine, not once per task. A mesh worker that
hangs or dies costs only its request, which comes back as an exception
value; a Dask worker that is lost has its tasks run again elsewhere by Dask,
and each request is still answered once, in input order.
"""

import collections
import itertools
import threading

from ._pool import Pool, _progress_bar

_pools = {}
_pools_lock = threading.Lock()


def _process_pool(config):
    """This process's Pool for `config`, made on first use and kept."""
    with _pools_lock:
        pool = _pools.get(config)
        if pool is None:
            workers, timeout, worker_path = config
            pool = Pool(workers=workers, timeout=timeout, worker_path=worker_path)
            _pools[config] = pool
        return pool


def _mesh_chunk(requests, workers, timeout, worker_path):
    pool = _process_pool((workers, timeout, worker_path))
    return pool.map(list(requests), return_exceptions=True, progress=False)


def _chunks(requests, size):
    source = iter(requests)
    while True:
        chunk = list(itertools.islice(source, size))
        if not chunk:
            return
        yield chunk


def _in_flight(client):
    """Tasks to keep queued: two per Dask worker thread, so none idles."""
    try:
        threads = sum(client.nthreads().values())
    except Exception:  # a client not yet connected to its workers
        threads = 0
    return max(4, 2 * threads)


def mesh_many(requests, client, *, chunk_size=16, workers=None, timeout=None, worker_path=None,
              progress=None, retries=3):
    """Meshes `requests` on the cluster behind `client` (a distributed.Client),
    yielding one outcome per request in input order: a MeshResult, or the
    exception (Refused, TimedOut, WorkerDied, ...) that stands for it.

    requests     a sequence or iterable of meshworker.Request, or a dask.bag
                 of them (meshed partition by partition)
    chunk_size   requests per Dask task (ignored for a bag: one task per partition)
    workers, timeout, worker_path
                 the Pool each Dask worker process keeps; worker_path None
                 lets each machine find its own mesh-worker
    progress     a tqdm bar: True, False, or None for one only on a terminal
    retries      how often Dask runs a task again whose worker raised
    """
    config = (workers, timeout, worker_path)
    if hasattr(requests, "to_delayed") and hasattr(requests, "map_partitions"):
        total = None
        parts = requests.map_partitions(_mesh_chunk, *config).to_delayed()
        submit = (lambda part: client.compute(part, retries=retries))
        tasks = iter(parts)
    else:
        total = len(requests) if hasattr(requests, "__len__") else None
        submit = (lambda chunk: client.submit(_mesh_chunk, chunk, *config, pure=False,
                                              retries=retries))
        tasks = _chunks(requests, chunk_size)
    bar = _progress_bar(progress, total)
    window = _in_flight(client)
    pending = collections.deque()
    try:
        while True:
            for task in itertools.islice(tasks, max(0, window - len(pending))):
                pending.append(submit(task))
            if not pending:
                return
            outcomes = pending.popleft().result()
            if bar is not None:
                bar.update(len(outcomes))
            yield from outcomes
    finally:
        for future in pending:
            future.cancel()
        if bar is not None:
            bar.close()
