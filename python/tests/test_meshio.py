"""to_meshio: cell blocks and domains, written to files and read back."""

import meshio
import numpy as np

import meshworker


def test_two_domains_written_and_read_back(pool, tmp_path):
    result = pool.mesh(meshworker.read_request("examples/two_domains.json"))
    assert len(result.quads) and len(result.triangles)
    mesh = result.to_meshio()
    assert [block.type for block in mesh.cells] == ["quad", "triangle"]
    for name in ("mesh.vtu", "mesh.vtk"):
        path = tmp_path / name
        mesh.write(path)
        back = meshio.read(path)
        np.testing.assert_array_equal(back.points, result.vertices)
        blocks = {block.type: block.data for block in back.cells}
        np.testing.assert_array_equal(blocks["quad"], result.quads)
        np.testing.assert_array_equal(blocks["triangle"], result.triangles)
        domains = back.cell_data["domain"]
        np.testing.assert_array_equal(domains[0], result.quad_domains)
        np.testing.assert_array_equal(domains[1], result.triangle_domains)


def test_only_the_element_kinds_present_become_blocks(pool):
    from conftest import square
    mesh = pool.mesh(square(prefer_quads=False)).to_meshio()
    assert [block.type for block in mesh.cells] == ["triangle"]
    assert len(mesh.cell_data["domain"]) == 1
