"""Shared pieces of the desktop tests: an installed korvel; the rest is tests/harness.py."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
from harness import BUILD, FIXTURES, SOURCE, Picture  # noqa: E402,F401


def install(prefix):
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)], check=True,
                   stdout=subprocess.DEVNULL)


@pytest.fixture(scope="module")
def installed_in_usr():
    """korvel installed under a fresh prefix inside /usr, the only tree a sandboxed thumbnailer
    sees; removed afterwards, whatever the tests did."""
    if not os.access("/usr/local", os.W_OK):
        pytest.skip("installing under /usr/local needs root")
    prefix = pathlib.Path(tempfile.mkdtemp(prefix="korvel-test-", dir="/usr/local"))
    try:
        prefix.chmod(0o755)
        install(prefix)
        yield prefix
    finally:
        shutil.rmtree(prefix)
