"""Shared pieces of the desktop tests: the build, an installed korvel, and reading pictures.

ctest sets KORVEL_SOURCE_DIR and KORVEL_BUILD_DIR; run by hand, the build is build/.
"""
import os
import pathlib
import shutil
import subprocess
import tempfile

import gi
import pytest

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf  # noqa: E402

SOURCE = pathlib.Path(os.environ.get("KORVEL_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
BUILD = pathlib.Path(os.environ.get("KORVEL_BUILD_DIR", SOURCE / "build"))
FIXTURES = SOURCE / "tests" / "fixtures"


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


class Picture:
    def __init__(self, path):
        pixbuf = GdkPixbuf.Pixbuf.new_from_file(str(path))
        self.width = pixbuf.get_width()
        self.height = pixbuf.get_height()
        self._pixels = pixbuf.get_pixels()
        self._stride = pixbuf.get_rowstride()
        self._channels = pixbuf.get_n_channels()

    def rgb(self, fx, fy):
        """Mean colour of a 5x5 window at a fraction of the width and height."""
        cx, cy = int(fx * self.width), int(fy * self.height)
        sums = [0, 0, 0]
        for y in range(cy - 2, cy + 3):
            for x in range(cx - 2, cx + 3):
                offset = y * self._stride + x * self._channels
                for c in range(3):
                    sums[c] += self._pixels[offset + c]
        return tuple(round(s / 25) for s in sums)

    def frame_index(self):
        """The frame number an indexed fixture's picture carries (tests/fixtures/README.md)."""
        bits = []
        for row in range(4):
            for col in range(4):
                grey = sum(self.rgb((col + 0.5) / 4, (row + 0.5) / 4)) / 3
                assert not 64 < grey < 192, f"cell ({col},{row}) is neither black nor white"
                bits.append(1 if grey >= 128 else 0)
        assert bits[12:] == [1, 0, 1, 0], f"marker row is {bits[12:]}: not an indexed frame"
        return sum(bit << k for k, bit in enumerate(bits[:12]))

    def corners(self):
        """The colour names at the four corners, as the corners_* fixtures place them."""
        names = {(255, 0, 0): "red", (0, 255, 0): "green", (0, 0, 255): "blue",
                 (255, 255, 255): "white"}

        def name(colour):
            for reference, label in names.items():
                if all(abs(a - b) <= 24 for a, b in zip(colour, reference)):
                    return label
            return str(colour)

        return tuple(name(self.rgb(fx, fy)) for fx, fy in
                     ((0.1, 0.1), (0.9, 0.1), (0.1, 0.9), (0.9, 0.9)))
