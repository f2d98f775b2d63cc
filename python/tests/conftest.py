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
