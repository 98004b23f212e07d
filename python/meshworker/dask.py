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

    meshworker.dask.mesh_jsonl("faces.jsonl", "meshes.jsonl", client)

meshes a JSON-lines file as `meshctl batch` does, writing the same lines,
without holding more than a few partitions of it in memory. From a shell:

    python3 -m meshworker.dask faces.jsonl meshes.jsonl --scheduler HOST:8786

    result = meshworker.dask.mesh_model("city.json", client, target_size=1.0)

meshes a whole model as Pool.mesh_model does, with the same result: the
model is prepared here (its edges divided once), its faces travel in
partitions to the Dask workers, and their answers are stitched in here as
each partition comes back. From a shell:

    python3 -m meshworker.dask model city.json city.vtu --scheduler HOST:8786
"""

import argparse
import collections
import itertools
import os
import sys
import threading
import time
import warnings

from . import _core
from ._model import Model, read_model
from ._pool import MeshWorkerError, Pool, _model_arguments, _model_result_or_raise, _progress_bar

# Outcomes as the lines of `meshctl batch` name them, in its summary's order.
OUTCOMES = ("meshed", "refused", "timed_out", "worker_died", "start_failed", "bad_answer",
            "invalid")

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


def _checked_partitioning(client, partition_size, in_flight):
    """The partitions to keep queued, once both numbers are checked."""
    if not isinstance(partition_size, int) or partition_size < 1:
        raise ValueError(f"partition_size: expected a positive integer, got {partition_size!r}")
    if in_flight is None:
        in_flight = _in_flight(client)
    if not isinstance(in_flight, int) or in_flight < 1:
        raise ValueError(f"in_flight: expected a positive integer or None, got {in_flight!r}")
    return in_flight


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


def _mesh_lines(lines, workers, timeout, worker_path):
    # No side effects: the lines come back to the caller, who alone writes
    # them, so a task that Dask runs again cannot write anything twice.
    pool = _process_pool((workers, timeout, worker_path))
    return pool._native.mesh_batch_lines(lines)


def _partitions(source, size):
    """(partition, bytes read) from a binary file: up to `size` non-blank
    lines as (line number, text), numbered and split as meshctl batch does."""
    partition, consumed = [], 0
    for number, raw in enumerate(source, 1):
        consumed += len(raw)
        if raw.endswith(b"\n"):
            raw = raw[:-1]
        if _core.is_blank_batch_line(raw):
            continue
        partition.append((number, raw))
        if len(partition) == size:
            yield partition, consumed
            partition, consumed = [], 0
    if partition or consumed:
        yield partition, consumed


def _submit_partition(client, partition, config, retries):
    # The lines travel inside the task, so that the scheduler can run it
    # again when its worker is lost; data scattered ahead, as Dask's warning
    # about large tasks advises, would be lost with that worker.
    with warnings.catch_warnings():
        warnings.filterwarnings("ignore", message="Large object of size")
        return client.submit(_mesh_lines, partition, *config, pure=False, retries=retries)


def _open(path, mode, standard):
    if os.fspath(path) == "-":
        return open(standard.fileno(), mode, closefd=False)
    return open(path, mode)


def mesh_jsonl(in_path, out_path, client, *, partition_size=1000, in_flight=None, workers=None,
               timeout=120, worker_path=None, progress=None, retries=3):
    """Meshes a JSON-lines file of requests on the cluster behind `client`
    and writes the lines `meshctl batch` writes for it, in input order: the
    same bytes but for what depends on the clock (Netgen's els/sec figures
    in diagnostics, and which requests time out), as between two runs of
    meshctl batch. Returns a collections.Counter of the lines' outcomes
    (meshed, refused, timed_out, worker_died, start_failed, bad_answer,
    invalid).

    in_path, out_path  files, or "-" for standard input and output
    partition_size     non-blank input lines per Dask task
    in_flight          partitions queued or running at once (None: two per
                       Dask worker thread); with the one being written, this
                       bounds what is held in memory here and on the workers
    workers, timeout, worker_path
                       the Pool each Dask worker process keeps (timeout in
                       seconds per request, as meshctl batch's --timeout;
                       None: no limit)
    progress           a tqdm bar over the input's bytes: True, False, or None
                       for one only on a terminal
    retries            how often Dask runs a task again whose worker raised

    A lost Dask worker's partitions are run again elsewhere by Dask and
    written once. Should a partition fail for good (Dask gives up on it),
    the exception is raised with the lines before it written.
    """
    in_flight = _checked_partitioning(client, partition_size, in_flight)
    config = (workers, timeout, worker_path)
    counts = collections.Counter()
    with _open(in_path, "rb", sys.stdin) as source, _open(out_path, "wb", sys.stdout) as out:
        total = None
        try:
            total = os.fstat(source.fileno()).st_size or None
        except OSError:
            pass
        bar = _progress_bar(progress, total)
        if bar is not None and total is not None:
            bar.unit, bar.unit_scale = "B", True
        pending = collections.deque()
        partitions = _partitions(source, partition_size)
        try:
            while True:
                for partition, consumed in itertools.islice(partitions,
                                                            max(0, in_flight - len(pending))):
                    future = _submit_partition(client, partition, config,
                                               retries) if partition else None
                    pending.append((future, consumed))
                if not pending:
                    break
                future, consumed = pending.popleft()
                if future is not None:
                    text, outcomes = future.result()
                    out.write(text)
                    out.flush()
                    counts.update(outcomes)
                if bar is not None:
                    bar.update(consumed)
        finally:
            for future, _ in pending:
                if future is not None:
                    future.cancel()
            if bar is not None:
                bar.close()
    return counts


def _mesh_faces(payloads, workers, timeout, worker_path):
    # Answers as bytes, compact to send back; the caller alone stitches, so a
    # partition run twice is still stitched once.
    pool = _process_pool((workers, timeout, worker_path))
    return pool._native.mesh_face_payloads(payloads)


def mesh_model(model_or_path, client, *, target_size=None, keep_going=True, prefer_quads=True,
               all_quads=False, weld_tolerance=None, lod=None, partition_size=64, in_flight=None,
               workers=None, timeout=None, worker_path=None, progress=None, retries=3):
    """Meshes a whole model on the cluster behind `client` into one
    conforming mesh: the ModelMeshResult Pool.mesh_model gives for it, the
    same vertices and elements in the same order.

    model_or_path   a meshworker.Model, or a CityJSON or OBJ file (read with
                    read_model and `lod`)
    target_size, keep_going, prefer_quads, all_quads, weld_tolerance
                    as for Pool.mesh_model
    partition_size  faces per Dask task
    in_flight       partitions queued or running at once (None: two per Dask
                    worker thread); with the result, this bounds what is
                    held in memory here
    workers, timeout, worker_path
                    the Pool each Dask worker process keeps (timeout in
                    seconds per face; None: no limit)
    progress        a tqdm bar over the faces: True, False, or None for one
                    only on a terminal
    retries         how often Dask runs a task again whose worker raised

    A lost Dask worker's partitions run again elsewhere; each face is
    stitched once. Should a partition fail for good, its exception is raised.
    """
    return _mesh_model_run(model_or_path, client, target_size=target_size,
                           keep_going=keep_going, prefer_quads=prefer_quads,
                           all_quads=all_quads, weld_tolerance=weld_tolerance, lod=lod,
                           partition_size=partition_size, in_flight=in_flight, workers=workers,
                           timeout=timeout, worker_path=worker_path, progress=progress,
                           retries=retries)[0]


def _mesh_model_run(model_or_path, client, *, target_size, keep_going, prefer_quads, all_quads,
                    weld_tolerance, lod, partition_size, in_flight, workers, timeout, worker_path,
                    progress, retries):
    """mesh_model's result, and the finished _core.ModelRun, which can
    write the mesh as meshctl does."""
    model = model_or_path if isinstance(model_or_path, Model) else read_model(model_or_path,
                                                                              lod)
    arguments = _model_arguments(model, target_size, keep_going, prefer_quads, all_quads,
                                 weld_tolerance)
    in_flight = _checked_partitioning(client, partition_size, in_flight)
    from distributed import wait

    config = (workers, timeout, worker_path)
    run = _core.ModelRun(*model._native(), **arguments)
    bar = _progress_bar(progress, run.size)
    pending = {}
    sent = 0
    try:
        while True:
            while run.running and sent < run.size and len(pending) < in_flight:
                payloads = run.payloads(sent, sent + partition_size)
                # The faces travel inside the task, so that the scheduler can
                # run it again when its worker is lost.
                with warnings.catch_warnings():
                    warnings.filterwarnings("ignore", message="Large object of size")
                    future = client.submit(_mesh_faces, payloads, *config, pure=False,
                                           retries=retries)
                pending[future] = sent
                sent += len(payloads)
            if not pending:
                break
            # Stitched as they come: the stitcher numbers the mesh as if in
            # face order whatever the order here.
            done, _ = wait(list(pending), return_when="FIRST_COMPLETED")
            for future in done:
                first = pending.pop(future)
                answers = future.result()
                if bar is not None:
                    bar.update(len(answers))
                if not run.add(first, answers):
                    break
            if not run.running:
                break  # keep_going=False and a face not meshed: the rest is not wanted
    finally:
        for future in pending:
            future.cancel()
        if bar is not None:
            bar.close()
    return _model_result_or_raise(run.finish(), model), run


def summary(counts, seconds):
    """meshctl batch's summary line, for the counts mesh_jsonl returns."""
    requests = sum(counts.values())
    text = (f"{requests} request{'' if requests == 1 else 's'} in {seconds:.1f} s: "
            f"{counts['meshed']} meshed, {counts['refused']} refused, "
            f"{counts['timed_out']} timed out")
    for rare in OUTCOMES[3:]:
        if counts[rare]:
            text += f", {counts[rare]} {rare.replace('_', ' ')}"
    return text


def _cluster_options(parser):
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running scheduler, e.g. tcp://host:8786 (default: a cluster of "
                             "one Dask worker on this machine)")
    parser.add_argument("--processes", type=int, default=1, metavar="N",
                        help="without --scheduler: Dask worker processes to start on this "
                             "machine, each with its own pool (default: 1)")
    parser.add_argument("--jobs", type=int, default=None, metavar="N",
                        help="mesh workers per Dask worker process (default: one per core)")
    parser.add_argument("--worker", default=None, metavar="PATH",
                        help="the mesh-worker on every machine (default: each finds its own)")
    parser.add_argument("--no-progress", action="store_true",
                        help="no progress bar, even on a terminal")
    for flag, what in (("--tls-ca-file", "the CA that signed the cluster's certificates"),
                       ("--tls-cert", "this client's certificate"),
                       ("--tls-key", "this client's private key")):
        parser.add_argument(flag, metavar="PEM", help=f"with a tls:// --scheduler: {what}")


def _security(args):
    """A Security for the TLS files named, or None for Dask's configuration."""
    files = (args.tls_ca_file, args.tls_cert, args.tls_key)
    if not any(files):
        return None
    if not all(files):
        raise ValueError("--tls-ca-file, --tls-cert and --tls-key go together")
    from distributed.security import Security
    return Security(tls_ca_file=args.tls_ca_file, tls_client_cert=args.tls_cert,
                    tls_client_key=args.tls_key, require_encryption=True)


def _run_on_cluster(parser, args, work):
    """work(client) on the scheduler named, or on a cluster started here for
    the run; OSError and ValueError become exit status 1 with the message."""
    if args.processes < 1:
        parser.error("--processes must be at least 1")
    from distributed import Client, LocalCluster

    cluster = None
    try:
        if args.scheduler:
            security = _security(args)
            client = Client(args.scheduler, **({"security": security} if security else {}))
        else:
            # Each Dask worker holds one pool of a mesh worker per core (or
            # --jobs); two threads, so that one partition's stragglers overlap
            # the next.
            cluster = LocalCluster(n_workers=args.processes, threads_per_worker=2,
                                   processes=True, dashboard_address=None)
            client = Client(cluster)
        with client:
            return work(client)
    except (OSError, ValueError) as error:
        print(f"meshworker.dask: {error}", file=sys.stderr)
        return 1
    finally:
        if cluster is not None:
            cluster.close()


def _model_main(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m meshworker.dask model",
        description="Mesh a whole CityJSON or OBJ model on a Dask cluster into one conforming "
                    "mesh, as meshctl model does, and write it (.vtu, .msh or .obj).")
    parser.add_argument("input", help="a CityJSON or OBJ file")
    parser.add_argument("output", help="the mesh: .vtu, .msh or .obj")
    parser.add_argument("--target-size", type=float, default=None, metavar="METRES",
                        help="element size for faces without their own (default: a tenth of "
                             "the median face's extent, as meshctl model)")
    parser.add_argument("--triangles", action="store_true", help="triangles only")
    parser.add_argument("--lod", default=None, help="CityJSON level of detail (default: the "
                                                      "highest each object has)")
    parser.add_argument("--partition-size", type=int, default=64, metavar="FACES",
                        help="faces per Dask task (default: 64)")
    parser.add_argument("--timeout", type=float, default=120,
                        help="seconds per face; 0 waits for ever (default: 120)")
    _cluster_options(parser)
    args = parser.parse_args(argv)
    if not args.output.lower().endswith((".vtu", ".msh", ".obj")):
        # Before a cluster starts or anything is meshed, as meshctl does.
        print(f"meshworker.dask: {args.output}: cannot tell the format; name the output .vtu, "
              ".msh or .obj", file=sys.stderr)
        return 1

    def work(client):
        model = read_model(args.input, args.lod)
        for note in model.notes:
            print(f"meshworker.dask: {args.input}: {note}", file=sys.stderr)
        target_size = args.target_size
        if target_size is None:
            vertices, faces, objects, semantics = model._native()
            target_size = _core.default_model_target_size(vertices, faces, objects, semantics)
            if target_size > 0:
                print(f"meshworker.dask: {args.input}: no target size given; using "
                      f"{target_size:g} (a tenth of the median face's extent; set one with "
                      "--target-size)", file=sys.stderr)
            else:
                target_size = None
        result, run = _mesh_model_run(
            model, client, target_size=target_size, keep_going=True,
            prefer_quads=not args.triangles, all_quads=False, weld_tolerance=None, lod=None,
            partition_size=args.partition_size, in_flight=None, workers=args.jobs,
            timeout=args.timeout or None, worker_path=args.worker,
            progress=False if args.no_progress else None, retries=3)
        run.write(args.output)
        s = result.summary
        print(f"meshworker.dask: {args.input}: {s.faces} faces: {s.meshed_faces} meshed, "
              f"{s.refused_faces} refused, {s.skipped_faces} skipped as degenerate, "
              f"{s.failed_faces} failed; mesh: {len(result.vertices)} vertices, "
              f"{len(result.quads)} quads, {len(result.triangles)} triangles; "
              f"{s.seconds:.2f} s", file=sys.stderr)
        return 0 if s.meshed_faces == s.faces else 2

    try:
        return _run_on_cluster(parser, args, work)
    except MeshWorkerError as error:
        print(f"meshworker.dask: {args.input}: {error}", file=sys.stderr)
        return 1


def main(argv=None):
    argv = sys.argv[1:] if argv is None else list(argv)
    if argv[:1] == ["model"]:
        return _model_main(argv[1:])
    parser = argparse.ArgumentParser(
        prog="python3 -m meshworker.dask",
        description="Mesh one JSON request per line on a Dask cluster, writing the lines "
                    "meshctl batch writes. With `model` first: mesh a whole model (see "
                    "`python3 -m meshworker.dask model --help`).")
    parser.add_argument("input", help="JSON lines, or - for standard input (a file named "
                                      "model: ./model)")
    parser.add_argument("output", help="JSON lines, or - for standard output")
    parser.add_argument("--partition-size", type=int, default=1000, metavar="LINES",
                        help="lines per Dask task (default: 1000)")
    parser.add_argument("--timeout", type=float, default=120,
                        help="seconds per request; 0 waits for ever (default: 120)")
    _cluster_options(parser)
    args = parser.parse_args(argv)

    started = time.monotonic()

    def work(client):
        counts = mesh_jsonl(args.input, args.output, client,
                            partition_size=args.partition_size, workers=args.jobs,
                            timeout=args.timeout or None, worker_path=args.worker,
                            progress=False if args.no_progress else None)
        print(f"meshworker.dask: {summary(counts, time.monotonic() - started)}",
              file=sys.stderr)
        return 0 if counts["meshed"] == sum(counts.values()) else 2

    return _run_on_cluster(parser, args, work)


if __name__ == "__main__":
    # Run as the package's module, not as __main__, so that the functions
    # sent to Dask workers are found there by name.
    from meshworker.dask import main as package_main
    sys.exit(package_main())
