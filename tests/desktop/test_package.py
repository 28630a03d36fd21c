"""The Debian package: made by cpack, clean for lintian, complete, runnable where it is
unpacked, with dependencies that cover what its programs link, and manual pages that render."""
import base64
import os
import re
import subprocess

import pytest

from conftest import BUILD, FIXTURES


def cache_value(name):
    cache = (BUILD / "CMakeCache.txt").read_text()
    return re.search(rf"^{name}:\w+=(.*)$", cache, re.MULTILINE).group(1)


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    folder = tmp_path_factory.mktemp("package")
    subprocess.run(["cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", folder],
                   cwd=BUILD, check=True, capture_output=True)
    architecture = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                  text=True, check=True).stdout.strip()
    deb = folder / f"korvel_{cache_value('CMAKE_PROJECT_VERSION')}_{architecture}.deb"
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


def test_unpacked_package_runs(unpacked, tmp_path):
    for part in ("usr/bin/korvel", "usr/bin/korvel-thumbnailer", "usr/libexec/korvel/jpeg-to-png",
                 "usr/share/thumbnailers/korvel.thumbnailer", "usr/share/man/man1/korvel.1.gz",
                 "usr/share/man/man1/korvel-thumbnailer.1.gz"):
        assert (unpacked / part).is_file(), part
    path = base64.b64encode(os.fsencode(FIXTURES / "info_1500ms.mp4")).decode()
    info = subprocess.run([unpacked / "usr/bin/korvel", "info", path], capture_output=True,
                          timeout=60)
    assert (info.returncode, info.stdout, info.stderr) == (0, b'{"duration_ms":1500}', b"")
    # The wrapper finds korvel and its helper where the package puts them.
    out = tmp_path / "thumb.png"
    thumbnail = subprocess.run([unpacked / "usr/bin/korvel-thumbnailer", "-s", "128",
                                FIXTURES / "corners.mp4", out], capture_output=True, timeout=60)
    assert thumbnail.returncode == 0, thumbnail.stderr
    assert out.read_bytes().startswith(b"\x89PNG")


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
    spellings = {path: os.path.realpath(path) for path in libraries.values()}
    owners = subprocess.run(["dpkg", "-S", *sorted(set(spellings) | set(spellings.values()))],
                            capture_output=True, text=True).stdout
    owner_of = {}
    for line in owners.splitlines():
        names, path = line.split(": ", 1)
        owner_of.setdefault(os.path.realpath(path), set()).update(
            name.strip().split(":")[0] for name in names.split(","))
    missing = [f"{soname} from {owner_of.get(spellings[path]) or 'no package'}"
               for soname, path in libraries.items()
               if not owner_of.get(spellings[path], set()) & named]
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
