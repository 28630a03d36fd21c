"""The argument contract end to end: counts, command words, the Base64 path, and what may be
opened. The syntax of Base64 and numbers is table-tested in the unit tests; here each kind of
refusal is seen once through the whole program."""
import base64
import os
import random
import socket

import pytest

from harness import FIXTURES, b64, expect_failure, expect_json, korvel

GOOD = FIXTURES / "info_1500ms.mp4"


@pytest.mark.parametrize("arguments", [[], ["info"], ["frame"], [b64(GOOD)],
                                       ["frame", b64(GOOD)], ["frame", b64(GOOD), "0.5"],
                                       ["frame", b64(GOOD), "0.5", "128", "x"]])
def test_wrong_counts_fail(arguments):
    expect_failure(korvel(*arguments))


def test_info_ignores_extra_entries():
    expect_json(korvel("info", b64(GOOD), "", "not base64!"), 1500)


# Files that open and reach the command word (or stop before it) fail alike.
@pytest.mark.parametrize("word", ["Info", "info ", "inf", "", "FRAME", "thumbnail"])
@pytest.mark.parametrize("name", ["info_1500ms.mp4", "not_media.txt"])
def test_unknown_command_word_fails(word, name):
    expect_failure(korvel(word, b64(FIXTURES / name)))
    expect_failure(korvel(word, b64(FIXTURES / name), "0.5", "128"))


@pytest.fixture
def awkward_name(tmp_path):
    """A copy of the good fixture whose standard encoding holds '+', '/' and padding, so that
    a lenient decoder (URL-safe alphabet, missing padding) would still find it."""
    for prefix in range(6):
        path = tmp_path / ("k" * prefix + "~~~???.mp4")
        encoded = b64(path)
        if "+" in encoded and "/" in encoded and encoded.endswith("="):
            path.write_bytes(GOOD.read_bytes())
            return encoded
    pytest.fail("no file name gives the wanted encoding")


def test_standard_base64_is_accepted(awkward_name):
    expect_json(korvel("info", awkward_name), 1500)


@pytest.mark.parametrize("mangle", [
    lambda e: e.rstrip("="), lambda e: e.replace("+", "-").replace("/", "_"),
    lambda e: e + "\n", lambda e: " " + e, lambda e: e[:8] + "=" + e[9:]])
def test_lenient_base64_is_refused(awkward_name, mangle):
    expect_failure(korvel("info", mangle(awkward_name)))


@pytest.mark.parametrize("path", [
    os.fsencode(GOOD) + b"\0.mp4",  # a C-string open would reach the good file
    os.fsencode(GOOD) + b"/", os.fsencode(FIXTURES / "no_such_file.mp4")])
def test_path_that_is_not_the_file_fails(path):
    expect_failure(korvel("info", base64.b64encode(path).decode()))


def make_fifo(folder):
    os.mkfifo(folder / "stream.mp4")
    return folder / "stream.mp4"


SOCKETS = []  # kept open until the tests end


def make_socket(folder):
    server = socket.socket(socket.AF_UNIX)
    server.bind(str(folder / "socket.mp4"))
    server.listen(1)
    SOCKETS.append(server)
    return folder / "socket.mp4"


def make_link(target):
    def make(folder):
        target_path = make_fifo(folder) if target == "fifo" else target
        (folder / "video.mkv").symlink_to(target_path)
        return folder / "video.mkv"
    return make


def make_file(size):
    def make(folder):
        (folder / "video.mp4").write_bytes(random.Random(size).randbytes(size))
        return folder / "video.mp4"
    return make


# Only a regular file with bytes in it is read, and whatever else is named fails at once: a
# FIFO without a writer must not block the open, an endless device must not be read.
@pytest.mark.parametrize("make", [
    lambda folder: folder, lambda folder: "/", make_fifo, make_socket,
    lambda folder: "/dev/null", lambda folder: "/dev/zero", lambda folder: "/dev/urandom",
    make_link("fifo"), make_link("/dev/zero"), make_file(0), make_file(1), make_file(188),
    make_file(1 << 20)], ids=["directory", "root", "fifo", "socket", "null", "zero", "urandom",
                              "link_to_fifo", "link_to_device", "empty", "random_1",
                              "random_188", "random_1MiB"])
def test_only_a_regular_media_file_is_read(tmp_path, make):
    path = make(tmp_path)
    for arguments in (["info", b64(path)], ["frame", b64(path), "0.5", "128"]):
        result = korvel(*arguments, kill_after=15)
        expect_failure(result)
        assert result.wall < 5, str(result)
