"""The Debian package as a desktop meets it: clean for lintian, dependencies covering what its
programs link, manual pages that render, its korvel-thumbnailer on any path bytes and sizes,
and GNOME's thumbnail factory running it in its bubblewrap sandbox. Run as a program, this file
is the factory's client, as a file manager is: `test_package.py PATH MIME_TYPE {normal,large}`
prints the saved thumbnail's path, or why there is none with status 3."""
import csv
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

import gi
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
from harness import BUILD, FIXTURES, SHARED_MEDIA, SOURCE, Picture  # noqa: E402

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GLib, GnomeDesktop  # noqa: E402

# Where the factory's sandbox shows the file it was given.
SANDBOXED_INPUT = "/tmp/gnome-desktop-file-to-thumbnail.mp4"


def client(path, mime_type, size_name):
    size = getattr(GnomeDesktop.DesktopThumbnailSize, size_name.upper())
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    uri, mtime = Gio.File.new_for_path(path).get_uri(), int(os.stat(path).st_mtime)
    pixbuf = factory.generate_thumbnail(uri, mime_type, None)  # GLib.Error when it makes none
    factory.save_thumbnail(pixbuf, uri, mtime, None)
    print(GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size))


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    folder = tmp_path_factory.mktemp("package")
    subprocess.run(["cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", folder],
                   cwd=BUILD, check=True, capture_output=True)
    [deb] = folder.glob("korvel_*_*.deb")  # Debian's name_version_architecture
    return deb


@pytest.fixture(scope="module")
def root(package, tmp_path_factory):
    """The package unpacked inside /usr where that is writable (the only tree the factory's
    sandbox shows), removed afterwards whatever the tests did."""
    inside_usr = os.access("/usr/local", os.W_OK)
    root = pathlib.Path(tempfile.mkdtemp(prefix="korvel-test-", dir="/usr/local" if inside_usr
                                         else tmp_path_factory.getbasetemp()))
    try:
        root.chmod(0o755)
        subprocess.run(["dpkg", "-x", package, root], check=True)
        yield root
    finally:
        shutil.rmtree(root)


def test_lintian_finds_no_error_or_warning(package):
    result = subprocess.run(["lintian", "--fail-on", "error,warning", package],
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr


def thumbnailer(bin_folder, *arguments, cwd=None):
    return subprocess.run([bin_folder / "korvel-thumbnailer", *map(os.fsencode, arguments)],
                          capture_output=True, timeout=60, cwd=cwd)


@pytest.mark.parametrize("size, width, height", [
    ("128", 128, 72),
    ("32", 64, 36),  # korvel draws 64 at least; the desktop scales it down
    ("4096", 160, 90),  # beyond korvel's 1024: asked at 1024, never enlarged
])
def test_thumbnailer_takes_any_path_bytes_and_sizes(root, tmp_path, size, width, height):
    video = os.fsencode(tmp_path) + b"/a b\nc\xff-.mp4"  # blank, line feed, not UTF-8
    shutil.copy(FIXTURES / "corners.mp4", video)
    (tmp_path / "out").mkdir()
    target = os.fsencode(tmp_path / "out") + b"/thumb \n\xfe.png"
    # The wrapper finds korvel and its helper where the package puts them.
    result = thumbnailer(root / "usr/bin", "-s", size, video, target)
    assert result.returncode == 0, result.stderr
    assert os.listdir(os.fsencode(tmp_path / "out")) == [b"thumb \n\xfe.png"]
    with open(target, "rb") as png:
        data = png.read()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    picture = Picture(data)
    assert (picture.width, picture.height) == (width, height)
    assert picture.corners() == "red green blue white"


def test_thumbnailer_failure_and_time_out_leave_nothing(root, tmp_path):
    # A korvel that writes half a picture and then times out.
    shutil.copytree(root / "usr", tmp_path / "usr")
    stub = tmp_path / "usr/bin/korvel"
    stub.write_text("#!/bin/sh\nprintf '\\377\\330\\377partial'\nexit 2\n")
    for bin_folder, video, status in [(root / "usr/bin", "not_media.txt", 1),
                                      (root / "usr/bin", "playlist.m3u8", 1),
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
def test_thumbnailer_usage(root, tmp_path, arguments):
    assert thumbnailer(root / "usr/bin", *arguments, cwd=tmp_path).returncode == 64
    assert os.listdir(tmp_path) == []


def test_dependencies_cover_linked_libraries(package, root, tmp_path):
    # The packages of what the programs link, as dpkg-shlibdeps names them (it wants a
    # debian/control, here empty).
    (tmp_path / "debian").mkdir()
    (tmp_path / "debian/control").touch()
    linked = subprocess.run(["dpkg-shlibdeps", "-O", root / "usr/bin/korvel",
                             root / "usr/libexec/korvel/jpeg-to-png"], cwd=tmp_path,
                            capture_output=True, text=True, check=True).stdout
    depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], capture_output=True,
                             text=True, check=True).stdout

    def names(field):
        return {re.match(r"\s*([\w.+-]+)", part)[1] for part in field.split(",")}
    assert names(linked.removeprefix("shlibs:Depends=")) <= names(depends), depends


@pytest.mark.parametrize("page, sections", [
    ("korvel.1.gz", ["SYNOPSIS", "EXIT STATUS", "THE PICTURE", "LIMITS", "EXAMPLES",
                     "THE DESKTOP THUMBNAILER",
                     "Video format cannot be decoded by this operating system."]),
    ("korvel-thumbnailer.1.gz", ["SYNOPSIS", "EXIT STATUS", "FILES", "video/mp4"]),
])
def test_manual_pages_render(root, page, sections):
    result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                             root / "usr/share/man/man1" / page],
                            capture_output=True, text=True, timeout=60,
                            env={**os.environ, "MANWIDTH": "80", "LC_ALL": "C.UTF-8"})
    assert (result.returncode, result.stderr) == (0, "")
    for section in sections:
        assert section in result.stdout


def ask_factory(root, home, path, mime_type, size, tracer=()):
    """Runs the client with the package's entry as the only thumbnailer the factory can find."""
    if not str(root).startswith("/usr/"):
        pytest.skip("the factory's sandbox shows only /usr, and unpacking there needs root")
    environment = {
        "HOME": str(home),
        "XDG_CACHE_HOME": str(home / "cache"),
        "XDG_CONFIG_HOME": str(home / "config"),
        "XDG_DATA_HOME": str(home / "data"),
        # Only korvel's entry, so no other thumbnailer on this machine can stand in for it.
        "XDG_DATA_DIRS": str(root / "usr/share"),
        "GSETTINGS_SCHEMA_DIR": "/usr/share/glib-2.0/schemas",
        "GSETTINGS_BACKEND": "memory",
        "PATH": f"{root}/usr/bin:/usr/bin:/bin",
    }
    result = subprocess.run([*tracer, sys.executable, "-B", __file__, path, mime_type, size],
                            env=environment, capture_output=True, text=True, timeout=120)
    # The factory removes its sandbox's folder afterwards and complains of anything left in it.
    assert "left files" not in result.stderr, result.stderr
    return result


@pytest.mark.parametrize("fixture, mime_type, size, width, height, check", [
    # 2.0 s, 25 fps, sync frames 0 and 25: 10 % is 0.2 s, frame 5, decoded forward from 0.
    ("indexed_h264_bframes.mp4", "video/mp4", "normal", 128, 96, 5),
    ("indexed_vp9.webm", "video/webm", "large", 256, 192, 5),
    ("indexed_h264.ts", "video/mp2t", "large", 256, 192, 5),
    # Coded 160x90, shown turned a quarter clockwise; never enlarged.
    ("corners_rotate_cw90.mp4", "video/mp4", "large", 90, 160, "blue red white green"),
])
def test_factory_makes_korvels_thumbnail(root, tmp_path, fixture, mime_type, size,
                                         width, height, check):
    result = ask_factory(root, tmp_path, FIXTURES / fixture, mime_type, size)
    assert result.returncode == 0, result.stderr
    thumbnail = pathlib.Path(result.stdout.strip())
    assert thumbnail.suffix == ".png"
    picture = Picture(thumbnail.read_bytes())
    assert (picture.width, picture.height) == (width, height)
    assert (picture.corners() if isinstance(check, str) else picture.frame_index()) == check


def test_playlist_named_mp4_gives_no_thumbnail_and_opens_nothing_else(root, tmp_path):
    strace = shutil.which("strace")
    if not strace:
        pytest.skip("strace is absent")
    # A valid video inside /usr, which the sandbox shows: following the playlist would work.
    canary = root / "canary.ts"
    shutil.copy(FIXTURES / "indirection_canary.ts", canary)
    playlist = tmp_path / "holiday.mp4"
    playlist.write_text("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                        f"#EXTINF:1.0,\n{canary}\n"
                        "#EXTINF:1.0,\nhttp://127.0.0.1:9/canary.ts\n#EXT-X-ENDLIST\n")
    trace = tmp_path / "trace"
    result = ask_factory(root, tmp_path / "home", playlist, "video/mp4", "large",
                         tracer=[strace, "-f", "-qq", "-s", "4096", "-o", trace, "-e",
                                 "trace=open,openat,connect"])
    assert result.returncode == 3, result.stdout + result.stderr
    assert not list((tmp_path / "home").rglob("thumbnails/*/*.png"))
    lines = trace.read_text(errors="replace").splitlines()
    assert not [line for line in lines if "canary" in line or "AF_INET" in line]
    # The trace sees into the sandbox: korvel opened the file it was given there.
    assert [line for line in lines if f'openat(AT_FDCWD, "{SANDBOXED_INPUT}"' in line]


def test_entry_names_the_types_desktops_detect(root):
    entry = (root / "usr/share/thumbnailers/korvel.thumbnailer").read_text()
    names = set(re.search(r"^MimeType=(.*)$", entry, re.MULTILINE)[1].split(";")) - {""}
    # A desktop looks thumbnailers up by the name it detected, never by an alias.
    with open("/usr/share/mime/aliases") as aliases:
        assert not names & {line.split()[0] for line in aliases}
    # Every video korvel draws, as the desktop names it, is offered to korvel.
    videos = [FIXTURES / name for name in ("indexed_h264_bframes.mp4", "info_1500ms.mkv",
                                           "indexed_vp9.webm", "indexed_h264.ts")]
    with open(SOURCE / "tests" / "e2e" / "shared_media.tsv") as table:
        videos += [SHARED_MEDIA / row["file"] for row in csv.DictReader(table, delimiter="\t")
                   if row["frame_at_256"] != "fail"]
    missed = []
    for video in (video for video in videos if video.exists()):
        with open(video, "rb") as data:
            detected, _ = Gio.content_type_guess(video.name, data.read(4096))
        if detected.startswith("video/") and detected not in names:
            missed.append(f"{video.name}: {detected}")
    assert not missed


if __name__ == "__main__":
    try:
        client(*sys.argv[1:])
    except GLib.Error as error:
        print(f"no thumbnail: {error.message}", file=sys.stderr)
        sys.exit(3)
