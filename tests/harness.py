"""What the end-to-end and desktop tests share: running korvel, its output contract, and reading
the pictures it writes. ctest sets KORVEL_SOURCE_DIR and KORVEL_BUILD_DIR."""
import base64
import dataclasses
import os
import pathlib
import signal
import subprocess
import tempfile
import threading
import time

import gi

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf  # noqa: E402

SOURCE = pathlib.Path(os.environ.get("KORVEL_SOURCE_DIR", pathlib.Path(__file__).parents[1]))
BUILD = pathlib.Path(os.environ.get("KORVEL_BUILD_DIR", SOURCE / "build"))
KORVEL = pathlib.Path(os.environ.get("KORVEL_BINARY", BUILD / "korvel"))
FIXTURES = SOURCE / "tests" / "fixtures"
SHARED_MEDIA = SOURCE.parent / "shared" / "media"
SANITIZED = os.environ.get("KORVEL_SANITIZED") == "1"
FAILURE_LINE = b"Video format cannot be decoded by this operating system.\n"


@dataclasses.dataclass
class Run:
    out: bytes
    err: bytes
    status: int | None  # None when a signal ended it
    signal: int | None
    wall: float  # seconds
    cpu: float  # user and system seconds
    rss_kb: int  # peak resident memory

    def __str__(self):
        end = f"status {self.status}" if self.signal is None else f"signal {self.signal}"
        return (f"{end}, {self.wall:.2f} s, {self.rss_kb} KiB, stdout {len(self.out)} bytes "
                f"{self.out[:80]!r}, stderr {self.err[:400]!r}")


def run(argv, kill_after=40):
    """argv with stdin on /dev/null, in its own process group, killed after kill_after seconds
    (longer than korvel's watchdog, so that the watchdog is what is seen)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.monotonic()
        child = subprocess.Popen([os.fsencode(a) for a in argv], stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=err, start_new_session=True)
        timer = threading.Timer(kill_after, os.killpg, (child.pid, signal.SIGKILL))
        timer.start()
        _, wait_status, usage = os.wait4(child.pid, 0)
        timer.cancel()
        child.returncode = 0  # reaped above
        wall = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        return Run(out.read(), err.read(),
                   os.WEXITSTATUS(wait_status) if os.WIFEXITED(wait_status) else None,
                   os.WTERMSIG(wait_status) if os.WIFSIGNALED(wait_status) else None,
                   wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss)


def b64(path):
    return base64.b64encode(os.fsencode(path)).decode()


def korvel(*arguments, under=(), **options):
    return run([*under, KORVEL, *arguments], **options)


def info(path):
    return korvel("info", b64(path))


def frame(path, position="0.5", size="256"):
    return korvel("frame", b64(path), position, size)


def expect_failure(result):
    assert (result.status, result.out, result.err) == (1, b"", FAILURE_LINE), str(result)


def info_ms(result):
    """The duration of a well-formed info line (canonical decimal, nothing else)."""
    assert result.status == 0 and result.err == b"", str(result)
    digits = result.out.removeprefix(b'{"duration_ms":').removesuffix(b"}")
    assert digits.isdigit() and result.out == b'{"duration_ms":%d}' % int(digits), str(result)
    return int(digits)


def jpeg_layout(data):
    """The frame header (markers, size, sampling) and quantisation tables of one JPEG stream:
    SOI, header segments, one scan, EOI."""
    assert data[:2] == b"\xff\xd8", "no SOI"
    layout, marker, at = [], 0, 2
    while marker != 0xDA:
        assert data[at] == 0xFF, f"no marker at {at}"
        marker, end = data[at + 1], at + 2 + int.from_bytes(data[at + 2:at + 4], "big")
        if marker == 0xDB or 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            layout.append(data[at + 1:end])
        at = end
    # Entropy-coded data up to the next marker that is no stuffing or restart.
    while data[at] != 0xFF or data[at + 1] == 0 or 0xD0 <= data[at + 1] <= 0xD7:
        at += 1
    assert data[at:] == b"\xff\xd9", "no EOI after the scan, or bytes after it"
    return layout


def thumbnail(result, width, height):
    """Status 0, nothing on stderr, and stdout one JPEG of width x height, at most 1 MiB, laid
    out as libjpeg's defaults at quality 85 are (baseline, 4:2:0, the scaled Annex K tables);
    returns the picture."""
    assert result.status == 0 and result.err == b"", str(result)
    assert len(result.out) <= 1 << 20, str(result)
    reference = GdkPixbuf.Pixbuf.new(GdkPixbuf.Colorspace.RGB, False, 8, width, height)
    reference = reference.save_to_bufferv("jpeg", ["quality"], ["85"])[1]
    assert jpeg_layout(result.out) == jpeg_layout(reference)  # the size too
    return Picture(result.out)


class Picture:
    """A decoded JPEG or PNG in 8-bit RGB."""

    def __init__(self, data):
        loader = GdkPixbuf.PixbufLoader()
        loader.write(data)
        loader.close()
        pixbuf = loader.get_pixbuf()
        self.width, self.height = pixbuf.get_width(), pixbuf.get_height()
        self._pixels, self._stride = pixbuf.get_pixels(), pixbuf.get_rowstride()
        self._channels = pixbuf.get_n_channels()

    def at(self, x, y):
        offset = y * self._stride + x * self._channels
        return tuple(self._pixels[offset:offset + 3])

    def mean(self, x0, y0, x1, y1):
        """Mean colour over [x0, x1) x [y0, y1), clipped to the picture."""
        box = [self.at(x, y) for y in range(max(y0, 0), min(y1, self.height))
               for x in range(max(x0, 0), min(x1, self.width))]
        return tuple(sum(channel) / len(box) for channel in zip(*box))

    def around(self, x, y, radius=2):
        return self.mean(x - radius, y - radius, x + radius + 1, y + radius + 1)

    def frame_index(self):
        """The frame number an indexed fixture's 4x4 grid carries (tests/fixtures/README.md)."""
        bits = []
        for row in range(4):
            for col in range(4):
                grey = sum(self.around((2 * col + 1) * self.width // 8,
                                       (2 * row + 1) * self.height // 8)) / 3
                assert not 64 < grey < 192, f"cell ({col},{row}) is neither black nor white"
                bits.append(1 if grey >= 128 else 0)
        assert bits[12:] == [1, 0, 1, 0], f"marker row is {bits[12:]}: not an indexed frame"
        return sum(bit << k for k, bit in enumerate(bits[:12]))

    def corners(self):
        """The colours at the four corners, named as the corners_* fixtures place them."""
        names = {"red": (255, 0, 0), "green": (0, 255, 0), "blue": (0, 0, 255),
                 "white": (255, 255, 255)}
        found = []
        for fx, fy in ((0.1, 0.1), (0.9, 0.1), (0.1, 0.9), (0.9, 0.9)):
            colour = self.around(int(fx * self.width), int(fy * self.height))
            found += [name for name, value in names.items()
                      if max(abs(a - b) for a, b in zip(colour, value)) <= 24] or [str(colour)]
        return " ".join(found)
