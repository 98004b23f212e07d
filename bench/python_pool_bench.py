#!/usr/bin/python3
"""The Python side of mesh-bench's Pool.map row: requests from a JSON-lines
file (as mesh-bench wrote them) through meshworker.Pool.map, timed the way
mesh-bench times the C++ WorkerPool: workers started and warmed up first,
then the clock from the first request handed over to the last result held.

    python_pool_bench.py REQUESTS.jsonl WORKERS WORKER_PATH

Prints one line: wall seconds, this process's processor seconds, and the
mean element count per request. Exits 1 when a request was not meshed.
"""

import sys
import time

import meshworker


def main():
    path, workers, worker_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(path, encoding="utf-8") as lines:
        requests = [meshworker.Request.from_json(line) for line in lines if line.strip()]
    with meshworker.Pool(workers=workers, worker_path=worker_path) as pool:
        pool.map([requests[0]] * (4 * workers), progress=False)
        processor = time.process_time()
        start = time.perf_counter()
        results = pool.map(requests, progress=False)
        seconds = time.perf_counter() - start
        processor = time.process_time() - processor
    elements = sum(len(r.quads) + len(r.triangles) for r in results)
    print(f"{seconds:.9f} {processor:.9f} {elements / len(results):.3f}")


if __name__ == "__main__":
    try:
        main()
    except meshworker.MeshWorkerError as error:
        print(f"python_pool_bench: a request was not meshed: {error}", file=sys.stderr)
        sys.exit(1)
