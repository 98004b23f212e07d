#!/usr/bin/python3
"""A synthetic city meshed whole, three ways: `meshctl model --jobs 2`, and
meshworker.dask.mesh_model on a LocalCluster of one worker process (a pool
of two mesh workers) and of two (a pool of one each). Prints faces/s,
elements/s and the caller's peak memory (meshctl's own, or the Python
process that prepares, stitches and holds the result) per row.

    dask_model_bench.py MESHCTL [--faces N] [--target-size H] [--out DIR]

The city is the bundled models repeated on a grid, each copy moved past the
last so that nothing overlaps, until there are at least N faces (50,000 by
default), written once as CityJSON so that both paths read the same file.
Each row runs in a process of its own, so that its peak memory is its own.
"""

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np

# The Zurich subset is left out: at target sizes coarse enough for a short
# run some of its faces mesh into answers the stitched mesh check rejects,
# which ends the whole run.
SOURCES = ("examples/models/DH_01_subs.city.json", "examples/models/rotterdam_subset.json")
SCALE = 0.001
GAP = 20.0  # metres between copies


def shifted(boundaries, offset):
    if isinstance(boundaries, list):
        return [shifted(item, offset) for item in boundaries]
    return boundaries + offset


def load(path):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    xyz = np.array(doc["vertices"], dtype=np.float64)
    transform = doc.get("transform")
    if transform:
        xyz = xyz * np.array(transform["scale"]) + np.array(transform["translate"])
    xyz -= xyz.min(axis=0)
    objects = {}
    for name, obj in doc["CityObjects"].items():
        obj = dict(obj)
        geometries = []
        for geometry in obj.get("geometry", []):
            if "boundaries" not in geometry:
                continue  # templates are not repeated
            geometries.append({key: value for key, value in geometry.items()
                               if key not in ("texture", "material")})
        obj["geometry"] = geometries
        objects[name] = obj
    return xyz, objects


def count_faces(objects):
    def surfaces(boundaries, depth):
        return 1 if depth == 0 else sum(surfaces(b, depth - 1) for b in boundaries)
    depth = {"MultiSurface": 1, "CompositeSurface": 1, "Solid": 2, "MultiSolid": 3,
             "CompositeSolid": 3}
    total = 0
    for obj in objects.values():
        for geometry in obj["geometry"]:
            if geometry["type"] in depth:
                total += surfaces(geometry["boundaries"], depth[geometry["type"]])
    return total


def city(path, faces_wanted):
    """Writes the synthetic city to `path`; returns its face count."""
    sources = [load(source) for source in SOURCES]
    vertices, objects, faces = [], {}, 0
    column, columns, x, y, row_depth = 0, 0, 0.0, 0.0, 0.0
    copy = 0
    while faces < faces_wanted:
        xyz, source_objects = sources[copy % len(sources)]
        offset = sum(len(v) for v in vertices)
        moved = xyz + np.array([x, y, 0.0])
        vertices.append(np.rint(moved / SCALE).astype(np.int64))
        for name, obj in source_objects.items():
            obj = dict(obj)
            obj["geometry"] = [dict(g, boundaries=shifted(g["boundaries"], offset))
                               for g in obj["geometry"]]
            for key in ("children", "parents"):
                if key in obj:
                    obj[key] = [f"{ref}@{copy}" for ref in obj[key]]
            objects[f"{name}@{copy}"] = obj
        faces += count_faces(source_objects)
        extent = xyz.max(axis=0)
        x += extent[0] + GAP
        row_depth = max(row_depth, extent[1])
        copy += 1
        column += 1
        if column == 8:  # a new row of copies
            column, x, y, row_depth = 0, 0.0, y + row_depth + GAP, 0.0
    doc = {"type": "CityJSON", "version": "2.0",
           "transform": {"scale": [SCALE] * 3, "translate": [0.0, 0.0, 0.0]},
           "CityObjects": objects,
           "vertices": np.concatenate(vertices).tolist()}
    with open(path, "w", encoding="utf-8") as f:
        json.dump(doc, f)
    return faces


def peak_of(process):
    """The peak resident memory (VmHWM, bytes) of a running process, read
    until it ends: the last reading before it exits is its peak."""
    peak = 0
    while process.poll() is None:
        try:
            with open(f"/proc/{process.pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        peak = max(peak, int(line.split()[1]) * 1024)
        except OSError:
            pass
        time.sleep(0.01)
    return peak


def run_meshctl(meshctl, city_path, out, target_size):
    started = time.monotonic()
    process = subprocess.Popen([meshctl, "model", city_path, "-o", out, "--jobs", "2",
                                "--target-size", str(target_size), "--no-progress"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    peak = {}
    watcher = threading.Thread(target=lambda: peak.setdefault("bytes", peak_of(process)))
    watcher.start()
    stdout, stderr = process.communicate()
    watcher.join()
    seconds = time.monotonic() - started
    if process.returncode not in (0, 2):
        sys.exit(f"meshctl model failed: {stderr}")
    line = next(l for l in stdout.splitlines() if l.startswith("mesh: "))
    counts = [int(n.replace(",", "")) for n in line.split()[1::2][:3]]
    meshed = int(stdout.split(" meshed")[0].split()[-1].replace(",", ""))
    return dict(seconds=seconds, meshed=meshed, elements=counts[1] + counts[2],
                peak=peak["bytes"])


def run_dask(city_path, out, target_size, processes):
    """In a process of its own: the whole of mesh_model, cluster start-up
    left out, and this process's peak memory."""
    code = f"""
import json, resource, time
from distributed import Client, LocalCluster
import meshworker, meshworker.dask
if __name__ == "__main__":
    with LocalCluster(n_workers={processes}, threads_per_worker=2, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        model = meshworker.read_model({city_path!r})
        started = time.monotonic()
        result, run = meshworker.dask._mesh_model_run(
            model, client, target_size={target_size}, keep_going=True, prefer_quads=True,
            all_quads=False, weld_tolerance=None, lod=None, partition_size=64, in_flight=None,
            workers={2 // processes}, timeout=120, worker_path=None, progress=False, retries=3)
        run.write({out!r})
        seconds = time.monotonic() - started
    print(json.dumps(dict(seconds=seconds, meshed=result.summary.meshed_faces,
                          elements=len(result.quads) + len(result.triangles),
                          peak=resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024)))
"""
    with tempfile.NamedTemporaryFile("w", suffix=".py", delete=False) as script:
        script.write(code)
    try:
        done = subprocess.run([sys.executable, script.name], capture_output=True, text=True)
    finally:
        os.unlink(script.name)
    if done.returncode != 0:
        sys.exit(f"mesh_model failed: {done.stderr}")
    return json.loads(done.stdout.splitlines()[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("meshctl")
    parser.add_argument("--faces", type=int, default=50000)
    parser.add_argument("--target-size", type=float, default=1.5)
    parser.add_argument("--out", default=None, help="where the city and meshes go")
    args = parser.parse_args()
    directory = args.out or tempfile.mkdtemp(prefix="dask-model-bench-")
    city_path = os.path.join(directory, "city.json")
    faces = city(city_path, args.faces)
    print(f"synthetic city: {faces:,} faces, target size {args.target_size} m, "
          f"load {os.getloadavg()[0]:.1f}")
    rows = [("meshctl model --jobs 2",
             run_meshctl(args.meshctl, city_path, os.path.join(directory, "meshctl.vtu"),
                         args.target_size))]
    for processes in (1, 2):
        rows.append((f"dask mesh_model, {processes} process{'es' if processes > 1 else ''}",
                     run_dask(city_path, os.path.join(directory, f"dask{processes}.vtu"),
                              args.target_size, processes)))
    base = rows[0][1]["seconds"]
    print(f"{'path':34} {'s':>8} {'faces/s':>9} {'elements/s':>11} {'peak MiB':>9} {'vs meshctl':>10}")
    for name, row in rows:
        print(f"{name:34} {row['seconds']:8.1f} {row['meshed'] / row['seconds']:9.0f} "
              f"{row['elements'] / row['seconds']:11.0f} {row['peak'] / 2**20:9.0f} "
              f"{row['seconds'] / base:10.2f}")
    same = all(open(os.path.join(directory, f"dask{p}.vtu"), "rb").read() ==
               open(os.path.join(directory, "meshctl.vtu"), "rb").read() for p in (1, 2))
    print(f"dask files equal to meshctl's: {same}")
    print(f"load {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
