"""What the desktop tests share beyond tests/harness.py: korvel installed as `cmake --install`
puts it."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
from harness import BUILD  # noqa: E402


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    """A fresh prefix, inside /usr where that is writable (the only tree a sandboxed thumbnailer
    sees), removed afterwards whatever the tests did."""
    usr = os.access("/usr/local", os.W_OK)
    prefix = pathlib.Path(tempfile.mkdtemp(prefix="korvel-test-", dir="/usr/local" if usr
                                           else tmp_path_factory.getbasetemp()))
    try:
        prefix.chmod(0o755)
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        yield prefix
    finally:
        shutil.rmtree(prefix)
