"""meshctl's quality summary against the same measures computed by numpy on
the .msh and .vtu files meshctl writes, as meshio reads them.

Usage: quality_meshio_test.py MESHCTL REQUEST...  (exit 77: meshio missing)

The numbers here are computed another way round than meshctl's: in 2-D
coordinates of the mesh's plane, angles from the law of cosines, areas by
the shoelace formula, the triangles' aspect ratio from the inscribed radius,
so that the two agree only if both follow the definitions."""

import json
import os
import subprocess
import sys
import tempfile

try:
    import meshio
    import numpy as np
except ImportError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)

TOLERANCE = 1e-9
BINS = 10


def plane_coordinates(points, elements):
    """The points in 2-D coordinates of the plane the elements lie in, turned
    so that the elements' summed area vector points out of the page."""
    normal = np.zeros(3)
    for corners in elements.values():
        p = points[corners]
        n = corners.shape[1]
        for i in range(n):  # Newell's area vector, twice over
            normal += np.cross(p[:, i], p[:, (i + 1) % n]).sum(axis=0)
    normal /= np.linalg.norm(normal)
    helper = np.eye(3)[np.argmin(np.abs(normal))]
    u = np.cross(helper, normal)
    u /= np.linalg.norm(u)
    v = np.cross(normal, u)
    return np.stack([points @ u, points @ v], axis=1)


def measures(flat, corners):
    """Angles (degrees), aspect ratio and quality of each element."""
    p = flat[corners]
    n = corners.shape[1]
    edge = np.stack([np.linalg.norm(p[:, (i + 1) % n] - p[:, i], axis=1) for i in range(n)],
                    axis=1)
    x, y = p[:, :, 0], p[:, :, 1]
    area = 0.5 * (x * np.roll(y, -1, axis=1) - np.roll(x, -1, axis=1) * y).sum(axis=1)
    angles, sines = [], []
    for i in range(n):
        previous, following = p[:, (i - 1) % n] - p[:, i], p[:, (i + 1) % n] - p[:, i]
        a, b = np.linalg.norm(following, axis=1), np.linalg.norm(previous, axis=1)
        c = np.linalg.norm(following - previous, axis=1)
        angle = np.degrees(np.arccos(np.clip((a * a + b * b - c * c) / (2 * a * b), -1, 1)))
        turn = following[:, 0] * previous[:, 1] - following[:, 1] * previous[:, 0]
        angles.append(np.where(turn < 0, 360 - angle, angle))
        sines.append(turn / (a * b))
    angles = np.stack(angles, axis=1)
    longest, perimeter = edge.max(axis=1), edge.sum(axis=1)
    if n == 3:
        inradius = 2 * area / perimeter
        aspect = longest / (2 * np.sqrt(3) * inradius)
        quality = 4 * np.sqrt(3) * area / (edge ** 2).sum(axis=1)
    else:
        aspect = longest * perimeter / (4 * area)
        quality = np.stack(sines, axis=1).min(axis=1)
    aspect = np.where(area > 0, aspect, np.inf)
    return angles.min(axis=1), angles.max(axis=1), aspect, quality


def expected_summary(path):
    mesh = meshio.read(path)
    key = "domain" if "domain" in mesh.cell_data else "gmsh:physical"
    elements, domains = {}, {}
    for block, ids in zip(mesh.cells, mesh.cell_data[key]):
        if block.type in ("quad", "triangle"):
            elements.setdefault(block.type, []).append(block.data)
            domains.setdefault(block.type, []).append(ids)
    elements = {t: np.concatenate(e) for t, e in elements.items()}
    domains = {t: np.concatenate(d) for t, d in domains.items()}
    flat = plane_coordinates(mesh.points, elements)
    summary = {}
    for kind, corners in elements.items():
        low, high, aspect, quality = measures(flat, corners)
        for d in np.unique(domains[kind]):
            mine = domains[kind] == d
            entry = summary.setdefault(int(d), {"quads": 0, "triangles": 0, "low": [], "high": [],
                                                "aspect": [], "quality": []})
            entry[kind + "s"] += int(mine.sum())
            for name, values in (("low", low), ("high", high), ("aspect", aspect),
                                 ("quality", quality)):
                entry[name].append(values[mine])
    for entry in summary.values():
        for name in ("low", "high", "aspect", "quality"):
            entry[name] = np.concatenate(entry[name])
    return summary


def close(a, b):
    if a is None or b is None:
        return a is None and b is None
    return abs(a - b) <= TOLERANCE * max(1.0, abs(a), abs(b))


def compare(name, reported, expected):
    problems = []
    by_domain = {d["domain"]: d for d in reported["domains"]}
    if sorted(by_domain) != sorted(expected):
        return [f"{name}: domains {sorted(by_domain)} against {sorted(expected)}"]
    for domain, want in expected.items():
        got = by_domain[domain]
        aspect = float(want["aspect"].max())
        checks = [
            ("quads", got["quads"], want["quads"]),
            ("triangles", got["triangles"], want["triangles"]),
            ("min_angle", got["min_angle"], float(want["low"].min())),
            ("max_angle", got["max_angle"], float(want["high"].max())),
            ("worst_aspect_ratio", got["worst_aspect_ratio"],
             aspect if np.isfinite(aspect) else None),
            ("min_quality", got["min_quality"], float(want["quality"].min())),
            ("mean_quality", got["mean_quality"], float(want["quality"].mean())),
        ]
        for field, value, wanted in checks:
            if not close(value, wanted):
                problems.append(f"{name}: domain {domain} {field}: meshctl {value}, numpy {wanted}")
        # A quality within rounding of a tenth's edge may fall either side.
        scaled = want["quality"] * BINS
        fixed = np.abs(scaled - np.round(scaled)) > 1e-9
        bins = np.clip(np.floor(scaled), 0, BINS - 1).astype(int)
        wanted_bins = np.bincount(bins[fixed], minlength=BINS)
        loose = int((~fixed).sum())
        got_bins = np.array(got["quality_histogram"])
        if (got_bins.sum() != len(bins) or (got_bins < wanted_bins).any()
                or (got_bins - wanted_bins).sum() != loose):
            problems.append(f"{name}: domain {domain} histogram: meshctl {got_bins.tolist()}, "
                            f"numpy {np.bincount(bins, minlength=BINS).tolist()}")
    return problems


def main():
    meshctl, requests = sys.argv[1], sys.argv[2:]
    problems = []
    with tempfile.TemporaryDirectory() as scratch:
        for request in requests:
            base = os.path.join(scratch, os.path.splitext(os.path.basename(request))[0])
            subprocess.run([meshctl, "mesh", request, "-q", "-o", base + ".json",
                            "--vtu", base + ".vtu", "--msh", base + ".msh"], check=True)
            stats = subprocess.run([meshctl, "stats", "--json", base + ".json"], check=True,
                                   capture_output=True, text=True)
            reported = json.loads(stats.stdout)
            for suffix in (".msh", ".vtu"):
                found = compare(request + suffix, reported, expected_summary(base + suffix))
                problems += found
                if not found:
                    domains = ", ".join(
                        f"domain {d['domain']}: angles {d['min_angle']:.3f} to "
                        f"{d['max_angle']:.3f}, worst aspect ratio {d['worst_aspect_ratio']:.4f}"
                        for d in reported["domains"])
                    print(f"{request}{suffix}: meshctl and numpy agree ({domains})")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
