import os
import shutil

import pytest


@pytest.fixture(scope="session")
def cli():
    """kalvor-cli of the same build (ctest sets KALVOR_CLI)."""
    path = os.environ.get("KALVOR_CLI") or shutil.which("kalvor-cli")
    if not path:
        pytest.skip("kalvor-cli not found: set KALVOR_CLI")
    return path


@pytest.fixture(scope="module")
def client():
    """A local cluster of two single-threaded worker processes, one per test file."""
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as c:
            yield c
