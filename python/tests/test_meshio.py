"""to_meshio: cell blocks, domains and boundary lines, written to files and
read back, and the same file as meshctl's."""

import os
import subprocess

import meshio
import numpy as np

import meshworker


def test_two_domains_written_and_read_back(pool, tmp_path):
    result = pool.mesh(meshworker.read_request("examples/two_domains.json"))
    assert len(result.quads) and len(result.triangles)
    mesh = result.to_meshio()
    assert [block.type for block in mesh.cells] == ["quad", "triangle", "line"]
    pieces = sum(len(chain) - 1 for chain in result.segment_chains)
    for name in ("mesh.vtu", "mesh.vtk"):
        path = tmp_path / name
        mesh.write(path)
        back = meshio.read(path)
        np.testing.assert_array_equal(back.points, result.vertices)
        blocks = {block.type: block.data for block in back.cells}
        np.testing.assert_array_equal(blocks["quad"], result.quads)
        np.testing.assert_array_equal(blocks["triangle"], result.triangles)
        assert len(blocks["line"]) == pieces
        domains, segments = back.cell_data["domain"], back.cell_data["segment"]
        np.testing.assert_array_equal(domains[0], result.quad_domains)
        np.testing.assert_array_equal(domains[1], result.triangle_domains)
        assert (domains[2] == -1).all() and (segments[0] == -1).all()
        # Each segment's pieces run along its chain, end to end.
        for index, chain in enumerate(result.segment_chains):
            on_it = blocks["line"][segments[2] == index]
            np.testing.assert_array_equal(on_it[:, 0], chain[:-1])
            np.testing.assert_array_equal(on_it[:, 1], chain[1:])


def test_only_the_element_kinds_present_become_blocks(pool):
    from conftest import square
    mesh = pool.mesh(square(prefer_quads=False)).to_meshio()
    assert [block.type for block in mesh.cells] == ["triangle", "line"]
    assert len(mesh.cell_data["domain"]) == len(mesh.cell_data["segment"]) == 2


def test_same_vtu_as_meshctl(pool, meshctl, tmp_path):
    path = "examples/plate_with_holes.json"
    subprocess.run([meshctl, "mesh", path, "--vtu", str(tmp_path / "meshctl.vtu"), "-q"],
                   check=True, env=dict(os.environ, MESHCTL_WORKER=pool.worker_path))
    pool.mesh(meshworker.read_request(path)).to_meshio().write(tmp_path / "python.vtu")
    ours, theirs = meshio.read(tmp_path / "python.vtu"), meshio.read(tmp_path / "meshctl.vtu")
    np.testing.assert_array_equal(ours.points, theirs.points)
    assert [b.type for b in ours.cells] == [b.type for b in theirs.cells]
    for mine, other in zip(ours.cells, theirs.cells):
        np.testing.assert_array_equal(mine.data, other.data)
    assert sorted(ours.cell_data) == sorted(theirs.cell_data) == ["domain", "segment"]
    for name in ours.cell_data:
        for mine, other in zip(ours.cell_data[name], theirs.cell_data[name]):
            np.testing.assert_array_equal(mine, other)
