"""GNOME's own thumbnail factory, running korvel's entry and wrapper inside its bubblewrap
sandbox, makes korvel's thumbnails: the frame at 10 %, upright. A playlist posing as a video
gives none and makes korvel open nothing but it. Run as a program, this file is the factory's
client, as a file manager is: `test_factory.py PATH MIME_TYPE {normal,large}` prints the path of
the saved thumbnail, or why there is none with status 3."""
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

from harness import BUILD, FIXTURES, SHARED_MEDIA, SOURCE, Picture

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GLib, GnomeDesktop  # noqa: E402

# Where the factory's sandbox shows the file it was given.
SANDBOXED_INPUT = "/tmp/gnome-desktop-file-to-thumbnail.mp4"


def client(path, mime_type, size_name):
    size = getattr(GnomeDesktop.DesktopThumbnailSize, size_name.upper())
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    uri, mtime = Gio.File.new_for_path(path).get_uri(), int(os.stat(path).st_mtime)
    if not factory.can_thumbnail(uri, mime_type, mtime):
        return f"no thumbnailer for {mime_type}"
    try:
        pixbuf = factory.generate_thumbnail(uri, mime_type, None)
    except GLib.Error as error:
        return f"no thumbnail: {error.message}"
    factory.save_thumbnail(pixbuf, uri, mtime, None)
    print(GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size))
    return None


@pytest.fixture(scope="module")
def prefix():
    """korvel installed under a fresh prefix inside /usr, the only tree a sandboxed thumbnailer
    sees; removed afterwards, whatever the tests did."""
    if not os.access("/usr/local", os.W_OK):
        pytest.skip("installing under /usr/local needs root")
    prefix = pathlib.Path(tempfile.mkdtemp(prefix="korvel-test-", dir="/usr/local"))
    try:
        prefix.chmod(0o755)
        subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        yield prefix
    finally:
        shutil.rmtree(prefix)


def ask_factory(prefix, home, path, mime_type, size, tracer=()):
    """Runs the client with korvel's entry as the only thumbnailer the factory can find."""
    environment = {
        "HOME": str(home),
        "XDG_CACHE_HOME": str(home / "cache"),
        "XDG_CONFIG_HOME": str(home / "config"),
        "XDG_DATA_HOME": str(home / "data"),
        # Only korvel's entry, so no other thumbnailer on this machine can stand in for it.
        "XDG_DATA_DIRS": str(prefix / "share"),
        "GSETTINGS_SCHEMA_DIR": "/usr/share/glib-2.0/schemas",
        "GSETTINGS_BACKEND": "memory",
        "PATH": f"{prefix}/bin:/usr/bin:/bin",
        "PYTHONPATH": str(SOURCE / "tests"),
    }
    result = subprocess.run([*tracer, sys.executable, __file__, path, mime_type, size],
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
def test_factory_makes_korvels_thumbnail(prefix, tmp_path, fixture, mime_type, size,
                                         width, height, check):
    result = ask_factory(prefix, tmp_path, FIXTURES / fixture, mime_type, size)
    assert result.returncode == 0, result.stderr
    thumbnail = pathlib.Path(result.stdout.strip())
    assert thumbnail.suffix == ".png"
    picture = Picture(thumbnail.read_bytes())
    assert (picture.width, picture.height) == (width, height)
    assert (picture.corners() if isinstance(check, str) else picture.frame_index()) == check


def test_playlist_named_mp4_gives_no_thumbnail_and_opens_nothing_else(prefix, tmp_path):
    strace = shutil.which("strace")
    if not strace:
        pytest.skip("strace is absent")
    # A valid video inside /usr, which the sandbox shows: following the playlist would work.
    canary = prefix / "canary.ts"
    shutil.copy(FIXTURES / "indirection_canary.ts", canary)
    playlist = tmp_path / "holiday.mp4"
    playlist.write_text("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                        f"#EXTINF:1.0,\n{canary}\n"
                        "#EXTINF:1.0,\nhttp://127.0.0.1:9/canary.ts\n#EXT-X-ENDLIST\n")
    trace = tmp_path / "trace"
    result = ask_factory(prefix, tmp_path / "home", playlist, "video/mp4", "large",
                         tracer=[strace, "-f", "-qq", "-s", "4096", "-o", trace, "-e",
                                 "trace=open,openat,connect"])
    assert result.returncode == 3, result.stdout + result.stderr
    assert not list((tmp_path / "home").rglob("thumbnails/*/*.png"))
    lines = trace.read_text(errors="replace").splitlines()
    assert not [line for line in lines if "canary" in line or "AF_INET" in line]
    # The trace sees into the sandbox: korvel opened the file it was given there.
    assert [line for line in lines if f'openat(AT_FDCWD, "{SANDBOXED_INPUT}"' in line]


def test_entry_names_the_types_desktops_detect():
    entry = (BUILD / "korvel.thumbnailer").read_text()
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


if __name__ == "__main__" and (failure := client(*sys.argv[1:])):
    print(failure, file=sys.stderr)
    sys.exit(3)
