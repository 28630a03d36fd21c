"""GNOME's own thumbnail factory, running korvel's entry and wrapper inside its bubblewrap
sandbox, makes korvel's thumbnails: the frame at 10 %, upright. A playlist posing as a video
gives none and makes korvel open nothing but it."""
import csv
import os
import pathlib
import re
import shutil
import subprocess
import sys

import gi
import pytest

from conftest import BUILD, FIXTURES, SOURCE, Picture

gi.require_version("Gio", "2.0")
from gi.repository import Gio  # noqa: E402

CLIENT = pathlib.Path(__file__).with_name("factory_client.py")
SHARED_MEDIA = SOURCE.parent / "shared" / "media"
# Where the factory's sandbox shows the file it was given.
SANDBOXED_INPUT = "/tmp/gnome-desktop-file-to-thumbnail.mp4"


@pytest.fixture(scope="module", autouse=True)
def bubblewrap_runs():
    """The factory runs every thumbnailer through bwrap: without it there is nothing to test."""
    bwrap = shutil.which("bwrap")
    assert bwrap, "bubblewrap is missing (scripts/install-deps.sh installs it)"
    probe = subprocess.run([bwrap, "--ro-bind", "/usr", "/usr", "--symlink", "usr/lib", "/lib",
                            "--symlink", "usr/lib64", "/lib64", "--unshare-all", "/usr/bin/true"],
                           capture_output=True, text=True)
    assert probe.returncode == 0, f"bwrap cannot make a sandbox here: {probe.stderr}"


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
    }
    command = [*tracer, sys.executable, str(CLIENT), str(path), mime_type, size]
    result = subprocess.run(command, env=environment, capture_output=True, text=True,
                            timeout=120)
    # The factory removes its sandbox's folder afterwards and complains of anything left in it.
    assert "left files" not in result.stderr, result.stderr
    return result


@pytest.mark.parametrize("fixture, mime_type, size, width, height, check", [
    # 2.0 s, 25 fps, sync frames 0 and 25: 10 % is 0.2 s, frame 5, decoded forward from 0.
    ("indexed_h264_bframes.mp4", "video/mp4", "normal", 128, 96, ("index", 5)),
    ("indexed_vp9.webm", "video/webm", "large", 256, 192, ("index", 5)),
    ("indexed_h264.ts", "video/mp2t", "large", 256, 192, ("index", 5)),
    # Coded 160x90, shown turned a quarter clockwise; never enlarged.
    ("corners_rotate_cw90.mp4", "video/mp4", "large", 90, 160,
     ("corners", "blue red white green")),
])
def test_factory_makes_korvels_thumbnail(installed_in_usr, tmp_path, fixture, mime_type, size,
                                         width, height, check):
    result = ask_factory(installed_in_usr, tmp_path, FIXTURES / fixture, mime_type, size)
    assert result.returncode == 0, result.stderr
    thumbnail = pathlib.Path(result.stdout.strip())
    assert thumbnail.is_file() and thumbnail.suffix == ".png"
    picture = Picture(thumbnail.read_bytes())
    assert (picture.width, picture.height) == (width, height)
    kind, expected = check
    if kind == "index":
        assert picture.frame_index() == expected
    else:
        assert picture.corners() == expected


def test_playlist_named_mp4_gives_no_thumbnail_and_opens_nothing_else(installed_in_usr,
                                                                      tmp_path):
    strace = shutil.which("strace")
    if not strace:
        pytest.skip("strace is absent")
    # A valid video inside /usr, which the sandbox shows: following the playlist would work.
    canary = installed_in_usr / "canary.ts"
    shutil.copy(FIXTURES / "indirection_canary.ts", canary)
    playlist = tmp_path / "holiday.mp4"
    playlist.write_text("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n"
                        f"#EXTINF:1.0,\n{canary}\n"
                        "#EXTINF:1.0,\nhttp://127.0.0.1:9/canary.ts\n#EXT-X-ENDLIST\n")
    trace = tmp_path / "trace"
    result = ask_factory(installed_in_usr, tmp_path / "home", playlist, "video/mp4", "large",
                         tracer=[strace, "-f", "--pidns-translation", "-qq", "-s", "4096", "-o", str(trace), "-e",
                                 "trace=execve,open,openat,connect,bind,clone,clone3,fork,vfork"])
    assert result.returncode == 3, result.stdout + result.stderr
    assert not list((tmp_path / "home").rglob("thumbnails/*/*.png"))

    lines = trace.read_text(errors="replace").splitlines()
    assert not [line for line in lines if "canary" in line]
    opens, network, korvel = thumbnailer_activity(lines)
    # The trace sees into the sandbox: korvel opened the file it was given.
    assert korvel is not None, "the trace shows no korvel run"
    assert SANDBOXED_INPUT in opens.get(korvel, [])
    assert not network
    foreign = [path for paths in opens.values() for path in paths
               if not allowed_open(path, installed_in_usr)]
    assert not foreign


def thumbnailer_activity(lines):
    """From an strace -f log: the paths each process under the thumbnailer opened, its
    network calls, and korvel's process id."""
    children, by_process = {}, {}
    for line in lines:
        match = re.match(r"(\d+)\s+(.*)", line)
        if not match:
            continue
        pid, call = match.groups()
        by_process.setdefault(pid, []).append(call)
        # Inside the sandbox's PID namespace a new process's id is translated after the call.
        spawned = re.search(r"^(?:<\.\.\. )?(?:clone3?|v?fork)\b.*=\s+(\d+)"
                            r"(?: /\* (\d+) in strace's PID NS \*/)?$", call)
        if spawned:
            children.setdefault(pid, []).append(spawned.group(2) or spawned.group(1))
    roots = [pid for pid, calls in by_process.items()
             if any(re.match(r'execve\("[^"]*/korvel-thumbnailer"', c) for c in calls)]
    tree, pending = set(), list(roots)
    while pending:
        pid = pending.pop()
        if pid not in tree:
            tree.add(pid)
            pending.extend(children.get(pid, []))
    opens, network, korvel = {}, [], None
    for pid in tree:
        for call in by_process.get(pid, []):
            if re.match(r'execve\("[^"]*/korvel"', call):
                korvel = pid
            opened = re.match(r'open(?:at)?\((?:AT_FDCWD, )?"([^"]*)"', call)
            if opened:
                opens.setdefault(pid, []).append(opened.group(1))
            if re.match(r"(?:connect|bind)\(", call):
                network.append(call)
    return opens, network, korvel


def allowed_open(path, prefix):
    """System files, the given file, the wrapper's temporary files, and of the test's own tree
    only the programs."""
    if path == SANDBOXED_INPUT or path.startswith("/tmp/.korvel-thumbnailer."):
        return True
    if path.startswith(f"{prefix}/"):
        return path.startswith((f"{prefix}/bin/", f"{prefix}/libexec/"))
    return path.startswith(("/usr/", "/lib/", "/lib64/", "/etc/", "/proc/", "/sys/", "/dev/"))


def entry_mime_types():
    entry = (BUILD / "korvel.thumbnailer").read_text()
    line = next(line for line in entry.splitlines() if line.startswith("MimeType="))
    return [name for name in line[len("MimeType="):].split(";") if name]


def test_entry_names_the_types_desktops_detect():
    names = entry_mime_types()
    # A desktop looks thumbnailers up by the name it detected, never by an alias.
    aliases = {line.split()[0] for line in open("/usr/share/mime/aliases")}
    assert not [name for name in names if name in aliases]
    # Every video korvel draws, as the desktop names it, is offered to korvel.
    videos = [FIXTURES / name for name in ("indexed_h264_bframes.mp4", "info_1500ms.mkv",
                                           "indexed_vp9.webm", "indexed_h264.ts")]
    frames = SOURCE / "tests" / "e2e" / "shared_media.tsv"
    if SHARED_MEDIA.is_dir():
        with open(frames) as table:
            videos += [SHARED_MEDIA / row["file"] for row in csv.DictReader(table, delimiter="\t")
                       if row["frame_at_256"] != "fail" and (SHARED_MEDIA / row["file"]).exists()]
    missed = []
    for video in videos:
        with open(video, "rb") as data:
            detected, _ = Gio.content_type_guess(video.name, data.read(4096))
        if detected.startswith("video/") and detected not in names:
            missed.append(f"{video.name}: {detected}")
    assert not missed
