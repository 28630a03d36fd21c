"""The Debian package: made by cpack, clean for lintian, runnable where it is unpacked, with
dependencies that cover what its programs link and manual pages that render; and its
korvel-thumbnailer: any path bytes, the size range, nothing left behind when korvel fails."""
import os
import re
import shutil
import subprocess

import pytest

from harness import BUILD, FIXTURES, Picture, b64, info_ms, run


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    folder = tmp_path_factory.mktemp("package")
    subprocess.run(["cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", folder],
                   cwd=BUILD, check=True, capture_output=True)
    version = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.*)$",
                        (BUILD / "CMakeCache.txt").read_text(), re.MULTILINE)[1]
    architecture = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                  text=True, check=True).stdout.strip()
    deb = folder / f"korvel_{version}_{architecture}.deb"
    assert deb.is_file(), sorted(p.name for p in folder.iterdir())
    return deb


@pytest.fixture(scope="module")
def unpacked(package, tmp_path_factory):
    root = tmp_path_factory.mktemp("root")
    subprocess.run(["dpkg", "-x", package, root], check=True)
    return root


def test_lintian_finds_no_error_or_warning(package):
    result = subprocess.run(["lintian", "--fail-on", "error,warning", package],
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr


def test_unpacked_package_runs(unpacked):
    assert (unpacked / "usr/share/thumbnailers/korvel.thumbnailer").is_file()
    korvel = unpacked / "usr/bin/korvel"
    assert info_ms(run([korvel, "info", b64(FIXTURES / "info_1500ms.mp4")])) == 1500


def thumbnailer(bin_folder, *arguments, cwd=None):
    return subprocess.run([bin_folder / "korvel-thumbnailer", *map(os.fsencode, arguments)],
                          capture_output=True, timeout=60, cwd=cwd)


@pytest.mark.parametrize("size, width, height", [
    ("128", 128, 72),
    ("32", 64, 36),  # korvel draws 64 at least; the desktop scales it down
    ("4096", 160, 90),  # beyond korvel's 1024: asked at 1024, never enlarged
])
def test_thumbnailer_takes_any_path_bytes_and_sizes(unpacked, tmp_path, size, width, height):
    video = os.fsencode(tmp_path) + b"/a b\nc\xff-.mp4"  # blank, line feed, not UTF-8
    shutil.copy(FIXTURES / "corners.mp4", video)
    (tmp_path / "out").mkdir()
    target = os.fsencode(tmp_path / "out") + b"/thumb \n\xfe.png"
    # The wrapper finds korvel and its helper where the package puts them.
    result = thumbnailer(unpacked / "usr/bin", "-s", size, video, target)
    assert result.returncode == 0, result.stderr
    assert os.listdir(os.fsencode(tmp_path / "out")) == [b"thumb \n\xfe.png"]
    with open(target, "rb") as png:
        data = png.read()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    picture = Picture(data)
    assert (picture.width, picture.height) == (width, height)
    assert picture.corners() == "red green blue white"


def test_thumbnailer_failure_and_time_out_leave_nothing(unpacked, tmp_path):
    # A korvel that writes half a picture and then times out.
    shutil.copytree(unpacked / "usr", tmp_path / "usr")
    stub = tmp_path / "usr/bin/korvel"
    stub.write_text("#!/bin/sh\nprintf '\\377\\330\\377partial'\nexit 2\n")
    for bin_folder, video, status in [(unpacked / "usr/bin", "not_media.txt", 1),
                                      (unpacked / "usr/bin", "playlist.m3u8", 1),
                                      (tmp_path / "usr/bin", "corners.mp4", 2)]:
        out = tmp_path / f"out-{video}-{status}"
        out.mkdir()
        result = thumbnailer(bin_folder, "-s", "256", FIXTURES / video, out / "thumb.png")
        assert result.returncode == status, (video, result.stderr)
        assert os.listdir(out) == [], video


@pytest.mark.parametrize("arguments", [
    [], ["-s", "256", "in.mp4"], ["-x", "256", "in.mp4", "out.png"],
    ["-s", "", "in.mp4", "out.png"], ["-s", "2e2", "in.mp4", "out.png"],
    ["-s", "256", "in.mp4", "out.png", "extra"]])
def test_thumbnailer_usage(unpacked, tmp_path, arguments):
    assert thumbnailer(unpacked / "usr/bin", *arguments, cwd=tmp_path).returncode == 64
    assert os.listdir(tmp_path) == []


def test_dependencies_cover_linked_libraries(package, unpacked):
    depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], capture_output=True,
                             text=True, check=True).stdout
    named = {re.match(r"\s*([\w.+-]+)", part).group(1) for part in depends.split(",")}
    libraries = {}  # the libraries the programs name themselves, as the loader finds them
    for program in ("usr/bin/korvel", "usr/libexec/korvel/jpeg-to-png"):
        dynamic = subprocess.run(["readelf", "-d", unpacked / program], capture_output=True,
                                 text=True, check=True).stdout
        linked = subprocess.run(["ldd", unpacked / program], capture_output=True, text=True,
                                check=True).stdout
        found = dict(re.findall(r"^\s*(\S+) => (/\S+)", linked, re.MULTILINE))
        for soname in re.findall(r"\(NEEDED\)\s+Shared library: \[(.+)\]", dynamic):
            libraries[soname] = found[soname]
    # dpkg records a library under /lib or /usr/lib; ask for both spellings at once.
    owners = {}
    for line in subprocess.run(["dpkg", "-S", *libraries.values(),
                                *map(os.path.realpath, libraries.values())],
                               capture_output=True, text=True).stdout.splitlines():
        names, path = line.split(": ", 1)
        owners.setdefault(os.path.realpath(path), set()).update(
            name.strip().split(":")[0] for name in names.split(","))
    missing = {soname: owners.get(os.path.realpath(path)) for soname, path in libraries.items()
               if not owners.get(os.path.realpath(path), set()) & named}
    assert not missing, depends


@pytest.mark.parametrize("page, sections", [
    ("korvel.1.gz", ["SYNOPSIS", "EXIT STATUS", "THE PICTURE", "LIMITS", "EXAMPLES",
                     "THE DESKTOP THUMBNAILER",
                     "Video format cannot be decoded by this operating system."]),
    ("korvel-thumbnailer.1.gz", ["SYNOPSIS", "EXIT STATUS", "FILES", "video/mp4"]),
])
def test_manual_pages_render(unpacked, page, sections):
    result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                             unpacked / "usr/share/man/man1" / page],
                            capture_output=True, text=True, timeout=60,
                            env={**os.environ, "MANWIDTH": "80", "LC_ALL": "C.UTF-8"})
    assert (result.returncode, result.stderr) == (0, "")
    for section in sections:
        assert section in result.stdout
