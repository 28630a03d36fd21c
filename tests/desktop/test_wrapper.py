"""korvel-thumbnailer on its own: any path bytes, the size range, and nothing left behind when
korvel fails or times out."""
import os
import shutil
import subprocess

import pytest

from conftest import FIXTURES, Picture, install

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    install(prefix)
    return prefix


def thumbnail(wrapper, *arguments):
    return subprocess.run([os.fsencode(wrapper), *map(os.fsencode, arguments)],
                          capture_output=True, timeout=60)


def folder_bytes(folder):
    return sorted(os.listdir(os.fsencode(folder)))


@pytest.mark.parametrize("size, width, height", [
    ("128", 128, 72),
    ("32", 64, 36),  # korvel draws 64 at least; the desktop scales it down
    ("4096", 160, 90),  # beyond korvel's 1024: asked at 1024, never enlarged
])
def test_any_path_bytes_and_sizes(prefix, tmp_path, size, width, height):
    name = b"a b\nc\xff-.mp4"  # blank, line feed, not UTF-8
    video = os.path.join(os.fsencode(tmp_path), name)
    shutil.copy(FIXTURES / "corners.mp4", video)
    out = tmp_path / "out"
    out.mkdir()
    target = os.path.join(os.fsencode(out), b"thumb \n\xfe.png")
    result = thumbnail(prefix / "bin" / "korvel-thumbnailer", "-s", size, video, target)
    assert result.returncode == 0, result.stderr
    assert folder_bytes(out) == [b"thumb \n\xfe.png"]
    with open(target, "rb") as png:
        data = png.read()
    assert data.startswith(PNG_SIGNATURE)
    picture = Picture(data)
    assert (picture.width, picture.height) == (width, height)
    assert picture.corners() == "red green blue white"


@pytest.fixture
def stub_korvel(prefix, tmp_path):
    """The installed tree with a korvel that writes half a picture and then times out."""
    tree = tmp_path / "tree"
    shutil.copytree(prefix, tree)
    stub = tree / "bin" / "korvel"
    stub.write_text("#!/bin/sh\nprintf '\\377\\330\\377partial'\nexit 2\n")
    stub.chmod(0o755)
    return tree / "bin" / "korvel-thumbnailer"


def test_failure_and_time_out_leave_nothing(prefix, stub_korvel, tmp_path):
    cases = [
        (prefix / "bin" / "korvel-thumbnailer", FIXTURES / "not_media.txt", 1),
        (prefix / "bin" / "korvel-thumbnailer", FIXTURES / "playlist.m3u8", 1),
        (stub_korvel, FIXTURES / "corners.mp4", 2),
    ]
    for wrapper, video, status in cases:
        out = tmp_path / f"out-{video.name}-{status}"
        out.mkdir()
        result = thumbnail(wrapper, "-s", "256", video, out / "thumb.png")
        assert result.returncode == status, (video, result.stderr)
        assert folder_bytes(out) == [], video


@pytest.mark.parametrize("arguments", [
    [],
    ["-s", "256", "in.mp4"],
    ["-x", "256", "in.mp4", "out.png"],
    ["-s", "", "in.mp4", "out.png"],
    ["-s", "2e2", "in.mp4", "out.png"],
    ["-s", "256", "in.mp4", "out.png", "extra"],
])
def test_usage(prefix, tmp_path, arguments):
    result = subprocess.run([prefix / "bin" / "korvel-thumbnailer", *arguments], cwd=tmp_path,
                            capture_output=True, timeout=60)
    assert result.returncode == 64
    assert os.listdir(tmp_path) == []
