"""The argument contract through the whole program: counts, command words, and what may be
opened. The syntax of Base64 and numbers is table-tested in the unit tests."""
import os
import random
import socket

import pytest

from harness import FIXTURES, b64, expect_failure, info_ms, korvel

GOOD = FIXTURES / "info_1500ms.mp4"


# Files that open and reach the command word (or stop before it) fail alike.
@pytest.mark.parametrize("arguments", [
    [], ["info"], ["frame"], [b64(GOOD)], ["frame", b64(GOOD)], ["frame", b64(GOOD), "0.5"],
    ["frame", b64(GOOD), "0.5", "128", "x"],
    *[[word, b64(FIXTURES / name), *extra] for word in ["Info", "info ", "inf", "", "FRAME",
                                                         "thumbnail"]
      for name in ["info_1500ms.mp4", "not_media.txt"] for extra in [[], ["0.5", "128"]]]])
def test_wrong_request_fails(arguments):
    expect_failure(korvel(*arguments))


def test_info_ignores_extra_entries():
    assert info_ms(korvel("info", b64(GOOD), "", "not base64!")) == 1500


def fifo(folder, name="stream.mp4"):
    os.mkfifo(folder / name)
    return folder / name


def link(folder, target):
    (folder / "video.mkv").symlink_to(target)
    return folder / "video.mkv"


SOCKETS = []  # kept open until the tests end


def unix_socket(folder):
    SOCKETS.append(socket.socket(socket.AF_UNIX))
    SOCKETS[-1].bind(str(folder / "socket.mp4"))
    SOCKETS[-1].listen(1)
    return folder / "socket.mp4"


def random_file(folder, size):
    (folder / "video.mp4").write_bytes(random.Random(size).randbytes(size))
    return folder / "video.mp4"


# Only a regular file with bytes in it is read, and whatever else is named fails at once: a
# FIFO without a writer must not block the open, an endless device must not be read.
@pytest.mark.parametrize("make", [
    pytest.param(make, id=name) for name, make in {
        "directory": lambda folder: folder, "missing": lambda folder: folder / "missing.mp4",
        "file_as_folder": lambda _: f"{GOOD}/", "fifo": fifo, "socket": unix_socket,
        "null": lambda _: "/dev/null", "zero": lambda _: "/dev/zero",
        "link_to_fifo": lambda folder: link(folder, fifo(folder)),
        "link_to_device": lambda folder: link(folder, "/dev/zero"),
        "empty": lambda folder: random_file(folder, 0),
        "random_1MiB": lambda folder: random_file(folder, 1 << 20)}.items()])
def test_only_a_regular_media_file_is_read(tmp_path, make):
    path = make(tmp_path)
    for arguments in (["info", b64(path)], ["frame", b64(path), "0.5", "128"]):
        result = korvel(*arguments, kill_after=15)
        expect_failure(result)
        assert result.wall < 5, str(result)
