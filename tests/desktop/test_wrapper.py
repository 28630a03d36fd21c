"""korvel-thumbnailer on its own: any path bytes, the size range, and nothing left behind when
korvel fails or times out."""
import os
import shutil
import subprocess

import pytest

from harness import FIXTURES, Picture


def thumbnailer(bin_folder, *arguments, cwd=None):
    return subprocess.run([bin_folder / "korvel-thumbnailer", *map(os.fsencode, arguments)],
                          capture_output=True, timeout=60, cwd=cwd)


@pytest.mark.parametrize("size, width, height", [
    ("128", 128, 72),
    ("32", 64, 36),  # korvel draws 64 at least; the desktop scales it down
    ("4096", 160, 90),  # beyond korvel's 1024: asked at 1024, never enlarged
])
def test_any_path_bytes_and_sizes(prefix, tmp_path, size, width, height):
    video = os.fsencode(tmp_path) + b"/a b\nc\xff-.mp4"  # blank, line feed, not UTF-8
    shutil.copy(FIXTURES / "corners.mp4", video)
    (tmp_path / "out").mkdir()
    target = os.fsencode(tmp_path / "out") + b"/thumb \n\xfe.png"
    result = thumbnailer(prefix / "bin", "-s", size, video, target)
    assert result.returncode == 0, result.stderr
    assert os.listdir(os.fsencode(tmp_path / "out")) == [b"thumb \n\xfe.png"]
    with open(target, "rb") as png:
        data = png.read()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    picture = Picture(data)
    assert (picture.width, picture.height) == (width, height)
    assert picture.corners() == "red green blue white"


def test_failure_and_time_out_leave_nothing(prefix, tmp_path):
    # A korvel that writes half a picture and then times out.
    stubbed = tmp_path / "tree" / "bin"
    shutil.copytree(prefix, tmp_path / "tree")
    (stubbed / "korvel").write_text("#!/bin/sh\nprintf '\\377\\330\\377partial'\nexit 2\n")
    for bin_folder, video, status in [(prefix / "bin", "not_media.txt", 1),
                                      (prefix / "bin", "playlist.m3u8", 1),
                                      (stubbed, "corners.mp4", 2)]:
        out = tmp_path / f"out-{video}-{status}"
        out.mkdir()
        result = thumbnailer(bin_folder, "-s", "256", FIXTURES / video, out / "thumb.png")
        assert result.returncode == status, (video, result.stderr)
        assert os.listdir(out) == [], video


@pytest.mark.parametrize("arguments", [
    [], ["-s", "256", "in.mp4"], ["-x", "256", "in.mp4", "out.png"],
    ["-s", "", "in.mp4", "out.png"], ["-s", "2e2", "in.mp4", "out.png"],
    ["-s", "256", "in.mp4", "out.png", "extra"]])
def test_usage(prefix, tmp_path, arguments):
    assert thumbnailer(prefix / "bin", *arguments, cwd=tmp_path).returncode == 64
    assert os.listdir(tmp_path) == []
