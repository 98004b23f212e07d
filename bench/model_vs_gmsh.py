#!/usr/bin/python3
"""A whole building model meshed conformally: `meshctl model` with two
workers against Gmsh 4.8 (Debian's), both as whole processes, side by side
in one run.

    model_vs_gmsh.py MESHCTL MODEL.city.json [MODEL...] [--target-size H]
                     [--jobs N] [--repeat R]

Gmsh gets the model as its own .geo: every distinct position one Point,
every distinct edge one Line shared by the faces that use it, each ring a
Curve Loop and each face a Plane Surface, meshed with `Mesh.Algorithm = 6`
(Frontal-Delaunay) and `Mesh.RecombineAll = 1` at the same characteristic
length on one thread. That is how Gmsh meshes a model conformally: each
curve once, reused by every surface. Both outputs are read back with meshio
and judged by the same measures (the project's: a triangle's mean ratio
4√3 A / Σ l², a quad's scaled Jacobian, the smallest sine of its corners),
and their open edges (element edges used by one element only) counted.

Prints one row per model and tool: seconds (wall, best of R), elements,
open edges, worst quality, elements under 0.3.
"""

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

try:
    import meshio
except ImportError:
    print("model_vs_gmsh: meshio is missing (apt-get install python3-meshio)", file=sys.stderr)
    sys.exit(77)


def cityjson_faces(path):
    """(vertices, faces): each face a list of rings of vertex indices, from
    the highest level of detail each object has."""
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    vertices = np.array(doc["vertices"], dtype=float)
    transform = doc.get("transform")
    if transform:
        vertices = vertices * np.array(transform["scale"]) + np.array(transform["translate"])
    faces = []

    def surfaces(boundaries, kind):
        if kind in ("MultiSurface", "CompositeSurface"):
            yield from boundaries
        elif kind == "Solid":
            for shell in boundaries:
                yield from shell
        elif kind in ("MultiSolid", "CompositeSolid"):
            for solid in boundaries:
                for shell in solid:
                    yield from shell

    for obj in doc["CityObjects"].values():
        geometries = [g for g in obj.get("geometry", []) if "boundaries" in g]
        if not geometries:
            continue
        top = max(str(g.get("lod", "")) for g in geometries)
        for g in geometries:
            if str(g.get("lod", "")) == top:
                faces.extend(surfaces(g["boundaries"], g["type"]))
    return vertices, faces


def write_geo(path, vertices, faces, size):
    """The model as Gmsh's own geometry, positions and edges shared."""
    point_of = {}
    points = []
    lines = {}
    out = ["// written by model_vs_gmsh.py", "Geometry.Tolerance = 1e-9;"]

    def point(index):
        key = tuple(vertices[index])
        if key not in point_of:
            points.append(key)
            point_of[key] = len(points)
            out.append("Point(%d) = {%.17g, %.17g, %.17g, %g};" % (len(points), *key, size))
        return point_of[key]

    def clean(ring):
        ids = [point(i) for i in ring]
        kept = [p for k, p in enumerate(ids) if p != ids[k - 1]] if ids else []
        return kept if len(set(kept)) >= 3 else None

    surface = 0
    loop = 0
    for face in faces:
        rings = [clean(r) for r in face]
        if rings[0] is None:
            continue
        loops = []
        for ring in rings:
            if ring is None:
                continue
            signed = []
            for a, b in zip(ring, ring[1:] + ring[:1]):
                key = (min(a, b), max(a, b))
                if key not in lines:
                    lines[key] = len(lines) + 1
                    out.append("Line(%d) = {%d, %d};" % (lines[key], key[0], key[1]))
                signed.append(lines[key] if a < b else -lines[key])
            loop += 1
            out.append("Curve Loop(%d) = {%s};" % (loop, ", ".join(map(str, signed))))
            loops.append(loop)
        surface += 1
        out.append("Plane Surface(%d) = {%s};" % (surface, ", ".join(map(str, loops))))
    out += ["Mesh.Algorithm = 6;", "Mesh.RecombineAll = 1;",
            "Mesh.CharacteristicLengthMin = 0;", "Mesh.CharacteristicLengthMax = %g;" % size]
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    return surface


def judge(path):
    """Elements, open edges, worst quality, elements under 0.3."""
    mesh = meshio.read(path)
    points = mesh.points
    qualities = []
    edge_use = {}
    count = 0
    for block in mesh.cells:
        if block.type not in ("triangle", "quad"):
            continue
        cells = block.data
        count += len(cells)
        corners = points[cells]
        n = cells.shape[1]
        nxt = np.roll(corners, -1, axis=1)
        prv = np.roll(corners, 1, axis=1)
        if n == 3:
            area = 0.5 * np.linalg.norm(np.cross(corners[:, 1] - corners[:, 0],
                                                 corners[:, 2] - corners[:, 0]), axis=1)
            squares = (np.linalg.norm(nxt - corners, axis=2) ** 2).sum(axis=1)
            qualities.append(4 * np.sqrt(3) * area / np.maximum(squares, 1e-300))
        else:
            normal = np.cross(corners[:, 2] - corners[:, 0], corners[:, 3] - corners[:, 1])
            normal /= np.maximum(np.linalg.norm(normal, axis=1), 1e-300)[:, None]
            a, b = nxt - corners, prv - corners
            cross = np.einsum("ijk,ik->ij", np.cross(a, b), normal)
            sines = cross / np.maximum(np.linalg.norm(a, axis=2) * np.linalg.norm(b, axis=2),
                                       1e-300)
            qualities.append(sines.min(axis=1))
        for k in range(n):
            a = cells[:, k]
            b = cells[:, (k + 1) % n]
            for key in zip(np.minimum(a, b).tolist(), np.maximum(a, b).tolist()):
                edge_use[key] = edge_use.get(key, 0) + 1
    quality = np.concatenate(qualities) if qualities else np.zeros(0)
    open_edges = sum(1 for used in edge_use.values() if used == 1)
    worst = float(quality.min()) if len(quality) else float("nan")
    return count, open_edges, worst, int((quality < 0.3).sum())


def timed(command, repeat):
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, check=False)
        seconds = time.perf_counter() - start
        if result.returncode not in (0, 2):
            print("model_vs_gmsh: %s failed (%d):\n%s" % (command[0], result.returncode,
                                                          result.stderr[-2000:]), file=sys.stderr)
            return None, result
        best = seconds if best is None else min(best, seconds)
    return best, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("meshctl")
    parser.add_argument("models", nargs="+")
    parser.add_argument("--target-size", type=float, default=0.5)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    failed = False
    print("%-28s %-22s %9s %9s %7s %8s %6s" % ("model", "tool", "seconds", "elements",
                                               "open", "worst q", "<0.3"))
    with tempfile.TemporaryDirectory() as scratch:
        for model in args.models:
            name = os.path.basename(model)
            vertices, faces = cityjson_faces(model)
            geo = os.path.join(scratch, "model.geo")
            write_geo(geo, vertices, faces, args.target_size)
            ours = os.path.join(scratch, "ours.vtu")
            theirs = os.path.join(scratch, "gmsh.msh")
            our_time, our_run = timed([args.meshctl, "model", model, "-o", ours,
                                       "--target-size", str(args.target_size),
                                       "--jobs", str(args.jobs)], args.repeat)
            gmsh_time, gmsh_run = timed(["gmsh", geo, "-2", "-nt", "1", "-format", "msh41",
                                         "-o", theirs], args.repeat)
            rows = []
            if our_time is not None:
                rows.append(("meshctl model --jobs %d" % args.jobs, our_time, judge(ours)))
            if gmsh_time is not None:
                rows.append(("gmsh 4.8, 1 thread", gmsh_time, judge(theirs)))
                errors = sum(1 for line in gmsh_run.stdout.splitlines() + gmsh_run.stderr.splitlines()
                             if "Error" in line)
            for tool, seconds, (count, open_edges, worst, poor) in rows:
                print("%-28s %-22s %9.2f %9d %7d %8.3f %6d" % (name[:28], tool, seconds, count,
                                                               open_edges, worst, poor))
            if our_time is not None and gmsh_time is not None:
                print("%-28s ratio %.3f of Gmsh's time; Gmsh reported %d errors" %
                      (name[:28], our_time / gmsh_time, errors))
            failed = failed or our_time is None
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    print("children's processor time %.1f s, peak RSS %.0f MiB" %
          (usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
