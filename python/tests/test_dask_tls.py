"""A LocalCluster that only takes connections over TLS from holders of a
certificate its own CA signed, the setting the README shows for clusters
across machines; a throwaway CA made with the openssl command."""

import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
from distributed import Client, LocalCluster
from distributed.security import Security

import meshworker
import meshworker.dask


def openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, capture_output=True)


def make_ca_and_certificate(directory):
    """ca.pem, and cert.pem / key.pem for 127.0.0.1 signed by it."""
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
            "ca.pem", "-days", "1", "-subj", "/CN=meshworker test CA", cwd=directory)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.csr",
            "-subj", "/CN=127.0.0.1", cwd=directory)
    (directory / "san.cnf").write_text("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", "cert.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "cert.pem", "-days", "1", "-extfile", "san.cnf",
            cwd=directory)
    return [str(directory / name) for name in ("ca.pem", "cert.pem", "key.pem")]


@pytest.fixture(scope="module")
def security(tmp_path_factory):
    if shutil.which("openssl") is None:
        pytest.skip("the openssl command is not installed (scripts/install-deps adds it)")
    ca, cert, key = make_ca_and_certificate(tmp_path_factory.mktemp("tls"))
    return Security(tls_ca_file=ca, tls_client_cert=cert, tls_client_key=key,
                    tls_scheduler_cert=cert, tls_scheduler_key=key, tls_worker_cert=cert,
                    tls_worker_key=key, require_encryption=True)


def test_meshes_over_tls_and_turns_away_clients_without_a_certificate(security, pool):
    vertices = np.array([[0, 0, 0], [4, 0, 0], [4, 3, 0], [0, 3, 0]], dtype=np.float64)
    model = meshworker.Model(vertices, [[0, 1, 2, 3]])
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, protocol="tls",
                      host="127.0.0.1", security=security,
                      dashboard_address=None) as cluster:
        address = cluster.scheduler_address
        assert address.startswith("tls://127.0.0.1:")
        with Client(cluster, security=security) as client:
            assert all(worker.startswith("tls://") for worker in client.nthreads())
            result = meshworker.dask.mesh_model(model, client, target_size=0.5, progress=False)
        expected = pool.mesh_model(model, target_size=0.5)
        assert result.vertices.tobytes() == expected.vertices.tobytes()
        assert result.quads.tobytes() == expected.quads.tobytes()
        assert result.summary.meshed_faces == 1

        # Neither a client without TLS nor one whose certificate another CA
        # signed gets in; one without a certificate is stopped by Dask itself.
        with pytest.raises(OSError):
            Client(address.replace("tls://", "tcp://"), timeout=5)
        with pytest.raises(TypeError, match="TLS"):
            Client(address, timeout=5)
        stranger_dir = Path(security.tls_ca_file).parent / "stranger"
        stranger_dir.mkdir()
        ca, cert, key = make_ca_and_certificate(stranger_dir)
        stranger = Security(tls_ca_file=ca, tls_client_cert=cert, tls_client_key=key,
                            require_encryption=True)
        with pytest.raises(OSError):
            Client(address, security=stranger, timeout=5)

        # The command line, with the client's files.
        done = subprocess.run(
            [sys.executable, "-m", "meshworker.dask", "model", "examples/models/cube.json",
             str(Path(security.tls_ca_file).parent / "cube.vtu"), "--scheduler", address,
             "--target-size", "0.5",
             "--tls-ca-file", security.tls_ca_file, "--tls-cert", security.tls_client_cert,
             "--tls-key", security.tls_client_key, "--no-progress"],
            capture_output=True, text=True, timeout=300)
        assert done.returncode == 0, done.stderr
        assert (Path(security.tls_ca_file).parent / "cube.vtu").stat().st_size > 0
