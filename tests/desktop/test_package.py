"""The Debian package: made by cpack, clean for lintian, complete, runnable where it is
unpacked, with dependencies that cover what its programs link, and manual pages that render."""
import os
import re
import subprocess

import pytest

from harness import BUILD, FIXTURES, b64, expect_json, run


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


def test_unpacked_package_runs(unpacked, tmp_path):
    assert (unpacked / "usr/share/thumbnailers/korvel.thumbnailer").is_file()
    expect_json(run([unpacked / "usr/bin/korvel", "info", b64(FIXTURES / "info_1500ms.mp4")]),
                1500)
    # The wrapper finds korvel and its helper where the package puts them.
    out = tmp_path / "thumb.png"
    wrapper = run([unpacked / "usr/bin/korvel-thumbnailer", "-s", "128", FIXTURES / "corners.mp4",
                   out])
    assert wrapper.status == 0 and out.read_bytes().startswith(b"\x89PNG"), str(wrapper)


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
