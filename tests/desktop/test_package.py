"""The Debian package as a desktop meets it: clean for lintian, dependencies covering what its
programs link, the notices of what korvel contains, manual pages that render, its
korvel-thumbnailer on any path bytes and sizes and its --enable and --disable, GNOME's thumbnail
factory running it in its bubblewrap sandbox, and tumbler (Thunar's thumbnail service) asked
over D-Bus. Run as a program, this file is a file manager's client:
`test_package.py {factory,tumbler} PATH_BASE64 MIME_TYPE SIZE` prints the saved thumbnail's
path, or why there is none with status 3 (the path in Base64, as GDK refuses an argument list
that is not UTF-8)."""
import base64
import contextlib
import csv
import datetime
import glob
import hashlib
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import gi
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
from harness import BUILD, FIXTURES, SHARED_MEDIA, SOURCE, Picture, b64  # noqa: E402

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import GdkPixbuf, Gio, GLib, GnomeDesktop  # noqa: E402

# Where the factory's sandbox shows the file it was given.
SANDBOXED_INPUT = "/tmp/gnome-desktop-file-to-thumbnail.mp4"
# tumbler's D-Bus name, object and interface.
TUMBLER = "org.freedesktop.thumbnails.Thumbnailer1"


def factory_client(path, mime_type, size_name):
    size = getattr(GnomeDesktop.DesktopThumbnailSize, size_name.upper())
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    uri, mtime = Gio.File.new_for_path(path).get_uri(), int(os.stat(path).st_mtime)
    pixbuf = factory.generate_thumbnail(uri, mime_type, None)  # GLib.Error when it makes none
    factory.save_thumbnail(pixbuf, uri, mtime, None)
    print(GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size))


def tumbler_client(path, mime_type, flavor):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    tumbler = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.NONE, None, TUMBLER,
                                     "/" + TUMBLER.replace(".", "/"), TUMBLER, None)
    uri = Gio.File.new_for_path(path).get_uri()
    loop, errors = GLib.MainLoop(), ["tumbler did not finish in 60 s"]

    def on_signal(_proxy, _sender, name, values):
        if name == "Error":
            errors.insert(0, values[3])
        elif name == "Finished":
            loop.quit()
    tumbler.connect("g-signal", on_signal)
    request = GLib.Variant("(asasssu)", ([uri], [mime_type], flavor, "default", 0))
    tumbler.call_sync("Queue", request, Gio.DBusCallFlags.NONE, -1, None)
    GLib.timeout_add_seconds(60, loop.quit)
    loop.run()
    size = getattr(GnomeDesktop.DesktopThumbnailSize, flavor.upper().replace("-", ""))
    thumbnail = GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size)
    if not os.path.exists(thumbnail):
        raise GLib.Error(errors[0])
    print(thumbnail)


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


def test_lintian_finds_nothing_down_to_pedantic(package):
    # What remains is overridden in the package, each with its reason; an override that no
    # longer matches is reported too.
    result = subprocess.run(["lintian", "--pedantic", "--display-info", "--fail-on",
                             "error,warning,info,pedantic", package],
                            capture_output=True, text=True, timeout=300)
    assert (result.returncode, result.stdout) == (0, ""), result.stdout + result.stderr


def thumbnailer(bin_folder, *arguments, cwd=None):
    return subprocess.run([bin_folder / "korvel-thumbnailer", *map(os.fsencode, arguments)],
                          capture_output=True, timeout=60, cwd=cwd)


@pytest.mark.parametrize("size, width, height, made_before", [
    ("128", 128, 72, True),  # tumbler makes OUTPUT and reads it through the handle it keeps
    ("32", 64, 36, False),  # korvel draws 64 at least; the desktop scales it down
    ("4096", 160, 90, True),  # beyond korvel's 1024: asked at 1024, never enlarged
])
def test_thumbnailer_takes_any_path_bytes_and_sizes(root, tmp_path, size, width, height,
                                                    made_before):
    video = os.fsencode(tmp_path) + b"/a b\nc\xff-.mp4"  # blank, line feed, not UTF-8
    shutil.copy(FIXTURES / "corners.mp4", video)
    (tmp_path / "out").mkdir()
    target = os.fsencode(tmp_path / "out") + b"/thumb \n\xfe.png"
    with contextlib.ExitStack() as stack:
        handle = stack.enter_context(open(target, "w+b")) if made_before else None
        # The wrapper finds korvel and its helper where the package puts them.
        result = thumbnailer(root / "usr/bin", "-s", size, video, target)
        assert result.returncode == 0, result.stderr
        assert os.listdir(os.fsencode(tmp_path / "out")) == [b"thumb \n\xfe.png"]
        data = handle.read() if handle else pathlib.Path(os.fsdecode(target)).read_bytes()
    assert data.startswith(b"\x89PNG\r\n\x1a\n")
    picture = Picture(data)
    assert (picture.width, picture.height) == (width, height)
    assert picture.corners() == "red green blue white"


# Stand-ins for korvel: half a picture, then a time-out or a wait until it is killed.
STUBS = {"times out": "printf '\\377\\330\\377partial'\nexit 2\n",
         "hangs": "printf '\\377\\330\\377partial'\necho $$ >\"$0.pid\"\nexec sleep 30\n"}


@pytest.mark.parametrize("stub, video, made_before, stop, status", [
    (None, "not_media.txt", False, None, 1),
    (None, "playlist.m3u8", True, None, 1),
    ("times out", "corners.mp4", False, None, 2),
    ("times out", "corners.mp4", True, None, 2),
    ("hangs", "corners.mp4", False, signal.SIGTERM, 1),  # the desktop gives up on it
    ("hangs", "corners.mp4", True, signal.SIGINT, 1),
])
def test_thumbnailer_failure_leaves_output_as_found(root, tmp_path, stub, video, made_before,
                                                    stop, status):
    bin_folder = root / "usr/bin"
    if stub:
        shutil.copytree(root / "usr", tmp_path / "usr")
        bin_folder = tmp_path / "usr/bin"
        (bin_folder / "korvel").write_text("#!/bin/sh\n" + STUBS[stub])
    out = tmp_path / "out"
    out.mkdir()
    target = out / "thumb.png"
    if made_before:
        target.touch()
        made = os.stat(target).st_ino
    wrapper = subprocess.Popen([bin_folder / "korvel-thumbnailer", "-s", "256",
                                FIXTURES / video, target], stderr=subprocess.PIPE)
    try:
        if stop:
            pid_file = bin_folder / "korvel.pid"
            while not pid_file.exists() or not pid_file.read_text().endswith("\n"):
                assert wrapper.poll() is None, wrapper.stderr.read()
                time.sleep(0.05)
            wrapper.send_signal(stop)
        # Ended at once, and korvel with it.
        assert wrapper.wait(timeout=10) == status, wrapper.stderr.read()
    finally:
        wrapper.kill()
    if stop:
        assert not pathlib.Path(f"/proc/{pid_file.read_text().strip()}").exists()
    assert os.listdir(out) == (["thumb.png"] if made_before else [])
    if made_before:
        assert (os.stat(target).st_ino, os.stat(target).st_size) == (made, 0)


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


# What the package must carry for the FFmpeg built into korvel: file, and words it starts with.
FFMPEG_NOTICES = [("ffmpeg/copyright", "Format: "), ("ffmpeg/COPYING.LGPLv2.1",
                  "                  GNU LESSER GENERAL PUBLIC LICENSE\n"
                  "                       Version 2.1, February 1999")]


def test_package_carries_the_notices_of_the_ffmpeg_inside(root):
    doc = root / "usr/share/doc/korvel"
    carried = {str(path.relative_to(doc)) for path in doc.rglob("*") if path.is_file()}
    assert carried - {"copyright", "changelog.gz"} == {name for name, _ in FFMPEG_NOTICES}
    version = re.search(rb"FFmpeg version (\d[\w.+~-]*)", (root / "usr/bin/korvel").read_bytes())
    copyright_file = (doc / "copyright").read_text()
    readme = (SOURCE / "README.md").read_text()
    assert version and version[1].decode() in copyright_file
    for name, start in FFMPEG_NOTICES:
        assert (doc / name).read_text().startswith(start)
        # Named where a reader looks: the copyright file, and the README's licence paragraph.
        assert name in copyright_file
        assert f"/usr/share/doc/korvel/{name}" in readme


@pytest.mark.parametrize("page, sections", [
    ("korvel.1.gz", ["SYNOPSIS", "EXIT STATUS", "THE PICTURE", "LIMITS", "EXAMPLES",
                     "THE DESKTOP THUMBNAILER",
                     "Video format cannot be decoded by this operating system."]),
    ("korvel-thumbnailer.1.gz", ["SYNOPSIS", "EXIT STATUS", "FILES", "video/mp4", "as PNG",
                                 "CHOOSING KORVEL", "XFCE AND TUMBLER"]),
])
def test_manual_pages_render_dated_by_the_source(root, page, sections):
    result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                             root / "usr/share/man/man1" / page],
                            capture_output=True, text=True, timeout=60,
                            env={**os.environ, "MANWIDTH": "80", "LC_ALL": "C.UTF-8"})
    assert (result.returncode, result.stderr) == (0, "")
    for section in sections:
        assert section in result.stdout
    # The date in the footer is the changelog's (or the builder's SOURCE_DATE_EPOCH), never
    # the day of the build, so that two builds of one commit give the same pages.
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
        ["dpkg-parsechangelog", "-l", SOURCE / "packaging/changelog", "-S", "Timestamp"],
        capture_output=True, text=True, check=True).stdout
    date = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
    assert f" {date:%Y-%m-%d} " in result.stdout.splitlines()[-1]


def desktop(root, home, data_dirs):
    """A user's environment with data_dirs as the system's data folders."""
    return {
        "HOME": str(home),
        "XDG_CACHE_HOME": str(home / ".cache"),
        "XDG_CONFIG_HOME": str(home / ".config"),
        "XDG_DATA_HOME": str(home / ".local/share"),
        "XDG_DATA_DIRS": ":".join(map(str, data_dirs)),
        "GSETTINGS_SCHEMA_DIR": "/usr/share/glib-2.0/schemas",
        "GSETTINGS_BACKEND": "memory",
        "PATH": f"{root}/usr/bin:/usr/bin:/bin",
    }


def ask_factory(root, home, path, mime_type, size, data_dirs=None, tracer=()):
    """Runs the factory's client, by default with the package's entry as the only thumbnailer
    it can find, so that no other thumbnailer on this machine can stand in for korvel."""
    if not str(root).startswith("/usr/"):
        pytest.skip("the factory's sandbox shows only /usr, and unpacking there needs root")
    result = subprocess.run([*tracer, sys.executable, "-B", __file__, "factory", b64(path),
                             mime_type, size],
                            env=desktop(root, home, data_dirs or [root / "usr/share"]),
                            capture_output=True, text=True, timeout=120)
    # The factory removes its sandbox's folder afterwards and complains of anything left in it.
    assert "left files" not in result.stderr, result.stderr
    return result


def run_the_manuals_commands_for_tumbler(root, home):
    """What korvel-thumbnailer(1) has Xfce users type, typed as the user of home."""
    page = subprocess.run(["man", "-l", root / "usr/share/man/man1/korvel-thumbnailer.1.gz"],
                          env={**os.environ, "MANWIDTH": "200", "LC_ALL": "C"},
                          capture_output=True, text=True, check=True).stdout
    section = page.split("\nXFCE AND TUMBLER\n")[1].split("\nEXIT STATUS\n")[0]
    commands = re.findall(r"^ *\$ ((?:.*\\\n)*.*)$", section, re.MULTILINE)
    assert commands
    subprocess.run(["sh", "-ec", "\n".join(commands)], check=True,
                   env={"HOME": str(home), "PATH": "/usr/bin:/bin"})


def ask_tumbler(root, home, path, mime_type, flavor):
    """Runs tumbler's client in a D-Bus session of its own, with the package's entry as the only
    thumbnailer entry, and tumbler set up as the manual says: its GStreamer plugin, which would
    otherwise come first, comes after korvel."""
    if not glob.glob("/usr/lib/*/tumbler-1/tumblerd") or not shutil.which("dbus-run-session"):
        pytest.skip("tumbler or dbus is absent (scripts/install-deps.sh installs them)")
    if not (home / ".config/tumbler/tumbler.rc").exists():
        run_the_manuals_commands_for_tumbler(root, home)
    # The MIME database, by which tumbler recognises the PNG it reads back.
    system = home / "system"
    system.mkdir(exist_ok=True)
    if not (system / "mime").exists():
        (system / "mime").symlink_to("/usr/share/mime")
    # Where tumbler makes the file it hands the thumbnailer.
    (home / "tmp").mkdir(exist_ok=True)
    return subprocess.run(["dbus-run-session", "--", sys.executable, "-B", __file__, "tumbler",
                           b64(path), mime_type, flavor],
                          env={**desktop(root, home, [root / "usr/share", system]),
                               "TMPDIR": str(home / "tmp")},
                          capture_output=True, text=True, timeout=120)


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


def user_thumbnailer(root, home, choice, data_dirs=("/usr/share",)):
    """korvel-thumbnailer --enable or --disable as the user of home, with data_dirs after the
    package's folder."""
    return subprocess.run([root / "usr/bin/korvel-thumbnailer", choice],
                          env=desktop(root, home, [root / "usr/share", *data_dirs]),
                          capture_output=True, text=True, timeout=60)


# Thumbnails and failure records in a user's cache (folder, the file they name, a video's?).
RECORDS = [("normal", b"holiday.mp4", True), ("large", b"Clip.MKV", True),
           ("x-large", b"a b\n%.webm", True), ("fail/gnome-thumbnail-factory", b"x.ts", True),
           ("normal", b"photo.jpg", False), ("large", b"song.mp3", False),
           ("fail/gnome-thumbnail-factory", b"notes.txt", False)]


def make_records(home, records):
    for folder, name, _ in records:
        uri = Gio.File.new_for_path(b"/videos/" + name).get_uri()
        (home / ".cache/thumbnails" / folder).mkdir(parents=True, exist_ok=True)
        record = home / ".cache/thumbnails" / folder / f"{hashlib.md5(uri.encode()).hexdigest()}.png"
        GdkPixbuf.Pixbuf.new(GdkPixbuf.Colorspace.RGB, False, 8, 1, 1).savev(
            str(record), "png", ["tEXt::Thumb::URI", "tEXt::Thumb::MTime"], [uri, "1"])


@pytest.mark.parametrize("enabled_before, choice, says, linked, video_records_left", [
    (False, "--enable", "now your video thumbnailer", True, 0),
    (True, "--enable", "already", True, 4),  # nothing changed: korvel's own thumbnails stay
    (True, "--disable", "no longer", False, 0),
    (False, "--disable", "nothing changed", False, 4),
])
def test_enable_and_disable_say_what_they_did(root, tmp_path, enabled_before, choice, says,
                                              linked, video_records_left):
    home = tmp_path / "home"
    link = home / ".local/share/thumbnailers/korvel.thumbnailer"
    if enabled_before:
        assert user_thumbnailer(root, home, "--enable").returncode == 0
    make_records(home, RECORDS)
    result = user_thumbnailer(root, home, choice)
    assert (result.returncode, result.stderr) == (0, "")
    assert says in result.stdout
    assert link.is_symlink() == linked
    if linked:
        assert link.resolve() == root / "usr/share/thumbnailers/korvel.thumbnailer"
    left = len(list((home / ".cache/thumbnails").glob("**/*.png")))
    assert left == video_records_left + sum(not video for *_, video in RECORDS)
    if not video_records_left:
        assert f"removed {sum(video for *_, video in RECORDS)} " in result.stdout


@pytest.mark.parametrize("choice", ["--enable", "--disable"])
def test_enable_and_disable_leave_a_users_own_entry(root, tmp_path, choice):
    own = tmp_path / "home/.local/share/thumbnailers/korvel.thumbnailer"
    own.parent.mkdir(parents=True)
    own.write_text("[Thumbnailer Entry]\n")
    result = user_thumbnailer(root, tmp_path / "home", choice)
    assert (result.returncode, result.stdout) == (1, "")
    assert str(own) in result.stderr
    assert own.read_text() == "[Thumbnailer Entry]\n"


def test_enable_makes_korvel_win_over_another_video_thumbnailer(root, tmp_path):
    other = "/usr/share/thumbnailers/ffmpegthumbnailer.thumbnailer"
    if not os.path.exists(other):
        pytest.skip(f"{other} is absent (scripts/install-deps.sh installs ffmpegthumbnailer)")
    home = tmp_path / "home"
    # Both installed, the other entry found first, as GNOME finds it on a desktop with both.
    data_dirs = ["/usr/share", root / "usr/share"]
    # 10 % of the fixture is frame 5; the other thumbnailer shows frame 0.
    for choice, frame in [(None, 0), ("--enable", 5), ("--disable", 0)]:
        if choice:
            assert user_thumbnailer(root, home, choice).returncode == 0
        result = ask_factory(root, home, FIXTURES / "indexed_h264_bframes.mp4", "video/mp4",
                             "normal", data_dirs=data_dirs)
        assert result.returncode == 0, result.stderr
        assert Picture(pathlib.Path(result.stdout.strip()).read_bytes()).frame_index() == frame


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


@pytest.mark.parametrize("fixture, name, mime_type, flavor, width, height, check", [
    ("indexed_h264_bframes.mp4", b"holiday.mp4", "video/mp4", "normal", 128, 96, 5),
    ("indexed_vp9.webm", b"a b\nc\xff.webm", "video/webm", "large", 256, 192, 5),
    ("indexed_h264.ts", b"-s 9 $(id) 'q' %41#?.ts", "video/mp2t", "x-large", 320, 240, 5),
    ("corners_rotate_cw90.mp4", b"\xe2\x80\xaevom.mp4", "video/mp4", "large", 90, 160,
     "blue red white green"),
])
def test_tumbler_makes_korvels_thumbnail(root, tmp_path, fixture, name, mime_type, flavor,
                                         width, height, check):
    video = os.fsencode(tmp_path) + b"/" + name
    shutil.copy(FIXTURES / fixture, video)
    result = ask_tumbler(root, tmp_path / "home", video, mime_type, flavor)
    assert result.returncode == 0, result.stderr
    picture = Picture(pathlib.Path(result.stdout.strip()).read_bytes())
    assert (picture.width, picture.height) == (width, height)
    assert (picture.corners() if isinstance(check, str) else picture.frame_index()) == check
    # Nothing left beside tumbler's file, which tumbler removed.
    assert os.listdir(tmp_path / "home/tmp") == []


if __name__ == "__main__":
    kind, path, *arguments = sys.argv[1:]
    try:
        {"factory": factory_client, "tumbler": tumbler_client}[kind](base64.b64decode(path),
                                                                     *arguments)
    except GLib.Error as error:
        print(f"no thumbnail: {error.message}", file=sys.stderr)
        sys.exit(3)
