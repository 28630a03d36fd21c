"""Hostile input: whatever a file holds, korvel ends with the output contract and never by a
signal, within bounded time and memory, opening nothing but the file. The crafted files are
made by tests/fixtures/hostile/make_hostile.py (its README says what each one is)."""
import os
import re
import shutil
import subprocess
import tempfile
import time

import pytest

from harness import FIXTURES, SANITIZED, Picture, b64, expect_failure, frame, info_ms, korvel

MOST_CPU = 20 if SANITIZED else 5  # seconds; the sanitizers slow everything down
# Sanitizer builds have no address-space cap (their shadow memory alone is far larger).
MOST_MEMORY_KB = (2048 if SANITIZED else 512) * 1024
FAULTS = "SIGSEGV,SIGBUS,SIGFPE,SIGILL,SIGABRT"
STRACE = shutil.which("strace")
if STRACE and subprocess.run([STRACE, "-o", "/dev/null", "/bin/true"]).returncode != 0:
    STRACE = None  # some sandboxes forbid tracing
needs_strace = pytest.mark.skipif(not STRACE, reason="strace cannot trace here")


@pytest.fixture(scope="session")
def crafted(tmp_path_factory):
    folder = tmp_path_factory.mktemp("hostile")
    subprocess.run(["/usr/bin/python3", FIXTURES / "hostile/make_hostile.py", folder],
                   check=True)
    # A real header, then 100 GB of zeros that take no disk: reading stops long before the end.
    (folder / "sparse.ts").write_bytes((FIXTURES / "indexed_h264.ts").read_bytes()[:188 * 40])
    os.truncate(folder / "sparse.ts", 100 << 30)
    return folder


def traced(arguments, *filters):
    """korvel under strace where it can trace, with the log's lines (empty otherwise)."""
    if not STRACE:
        return korvel(*arguments), []
    with tempfile.NamedTemporaryFile("r", errors="replace") as log:
        result = korvel(*arguments, under=[STRACE, "-f", "-qq", "-s", "4096", "-o", log.name,
                                           *filters])
        return result, log.read().splitlines()


def arguments(path, what):
    return ["info", b64(path)] if what == "info" else ["frame", b64(path), what, "256"]


def watched(path, what):
    """korvel on path (info, or the frame at position `what`), with the fault signals it was
    sent (a crash the crash guard contained) and what it opened or connected to but the file:
    another file beside it, a kernel or device file once the file is open (the sanitizers'
    runtime reads its own before), or the path itself when it names no regular file."""
    result, lines = traced(arguments(path, what), "--seccomp-bpf", "-e",
                           "trace=open,openat,connect,bind", "-e", "signal=" + FAULTS)
    assert not STRACE or not path.is_file() or any(f'"{path}"' in line for line in lines), \
        "the trace sees no open"
    file_open = next((i for i, line in enumerate(lines) if f'"{path}"' in line), len(lines))
    opened = [line for line in lines[file_open:] if re.search(r"\bopen(at)?\(.*\) = \d+$", line)]
    foreign = [line for line in lines if "connect(" in line or "bind(" in line or
               "canary" in line or (str(path.parent) in line and f'"{path}"' not in line)]
    foreign += [line for line in opened if re.search(r'"/(proc|sys|dev)/', line) or
                (f'"{path}"' in line and not path.is_file())]
    return result, [line for line in lines if "--- SIG" in line], foreign


def expect_bounded(result):
    assert result.signal is None and result.status != 2, str(result)
    assert result.cpu <= MOST_CPU and result.rss_kb <= MOST_MEMORY_KB, str(result)


# The outcomes allowed: the failure line, an answer, a duration within a tolerance, the
# picture of an indexed frame, or of any indexed frame.
FAIL, ANSWER, INDEXED = ("fail",), ("answer",), ("indexed",)
# The 4-second clips the crafted files are made of: within a video frame, and the last audio
# frame that may end after it.
CLIP = (4000, 50)


@pytest.mark.parametrize("name, what, expected", [
    # Work that grew with crafted structure.
    ("void_clusters.webm", "info", (2400, 40)), ("undeclared_tracks.webm", "info", (2400, 40)),
    ("undeclared_tracks.webm", "0.99", FAIL + ANSWER),
    # Memory from tiny files.
    ("ten_million_samples.mp4", "info", (1500, 1) + FAIL),
    # At most 100 streams are taken (720 cost 460 MiB); the probing decodes no picture larger
    # than 8192x8192 (one of 14000x14000 cost 850 MiB).
    ("ts_720_streams.ts", "info", FAIL), ("ts_1000_streams.ts", "0.5", FAIL + ANSWER),
    ("ts_14000x14000.ts", "0.5", FAIL + ANSWER), ("ts_14000x14000.ts", "info", (2000, 100)),
    ("sparse.ts", "info", FAIL), ("sparse.ts", "0.5", FAIL),
    # Durations no file can hold, and timestamps from no real block.
    ("matroska_duration_1e13ms.mkv", "info", (1500, 42)),
    ("flv_duration_1e12s.flv", "info", (1000, 100)),
    ("avi_lengths_unknown.avi", "info", (1000, 100)), ("ts_splice_10h.ts", "info", (2000, 100)),
    ("mp3_xing_2g_frames.mp3", "info", (4048, 26)),
    ("ogg_last_granule_2e62.ogg", "info", (2000, 40)),
    ("fake_cluster_in_void_1h.webm", "info", (2400, 40)),
    ("fake_cluster_in_void_max.webm", "info", (2400, 40)),
    ("cluster_timestamp_max.webm", "info", FAIL + ANSWER),
    # Pictures larger than any allowed, in a frame header or in the parameter sets; the same
    # builders at a size that fits answer, so the refusals come from the size alone.
    ("small.mp4", "info", ANSWER), ("small.avi", "info", ANSWER), ("small.avi", "0.5", ANSWER),
    ("mjpeg_12000x12000.avi", "0.5", FAIL), ("mjpeg_65535x65535.avi", "0.5", FAIL),
    ("h264_12000x12000.mp4", "0.5", FAIL), ("h264_60000x60000.mp4", "0.5", FAIL),
    # 2500 tiny frames after one sync frame: the decoding stops after 2000 frames. 1080p
    # pictures cropped to a 64x48 corner: the decoded area counts (300 million pixels, 143 of
    # these frames), not the few pixels shown.
    ("tiny_frames_long_gop.mp4", "0.99", ("frame", 2000)),
    ("cropped_to_corner.mp4", "0.99", ("frame", 143)),
    # Each once crashed or read an impossible value.
    *[(f"regressions/{name}", what, FAIL + ANSWER if what == "info" else expected)
      for name, expected in [("audio_only.mpg", FAIL), ("audio_only.flv", FAIL),
                             ("unnamed_colour_tags_pq.webm", ANSWER),
                             ("unnamed_colour_tags.webm", ANSWER)] for what in ("info", "0.5")],
    # Playlists and other indirections, as they are, under a video's name beside the canary
    # they name, and as an AVI subtitle stream that the demuxer would open with a nested one.
    *[(name, what, FAIL) for name in ["playlist.m3u8", "concat.ffconcat", "session.sdp",
                                      "hls_as.mp4", "hls_as.avi", "concat_as.mkv", "sdp_as.ts",
                                      "avi_playlist_subtitles.avi"] for what in ("info", "0.5")],
    # Work inside the library's own loops: index entries inserted in falling order, every
    # program searched for each table entry, every pair of streams' indexes walked, one
    # picture of 10,000 scans, frames inflated to 10 MiB, zeros walked 8 bytes at a time.
    ("ts_120_program_tables.ts", "info", CLIP + FAIL),
    ("flv_300k_falling_audio_tags.flv", "info", CLIP + FAIL),
    ("flv_300k_falling_audio_tags.flv", "0.5", FAIL + ANSWER),
    ("flv_150k_falling_keyframes.flv", "info", CLIP + FAIL),
    ("mkv_170k_falling_cues.mkv", "0.5", FAIL + ANSWER),
    ("mp4_160k_falling_sidx.mp4", "info", CLIP + FAIL),
    ("mov_64_pcm_tracks.mov", "info", CLIP + FAIL),
    ("avi_progressive_10000_scans.avi", "0.5", FAIL + ANSWER),
    ("mkv_zlib_long_gop.mkv", "0.5", FAIL + INDEXED),
    *[(f"{kind}_sparse_{size}.{kind}", "info", CLIP + FAIL)
      for kind in ("wav", "mp3") for size in ("100mb", "300mb")],
    # Memory the library sets aside for what tiny files claim.
    *[(name, "info", CLIP + FAIL) for name in [
        "mp4_stsz_in_trak.mp4", "mp4_cmov.mp4", "mp4_hoov.mp4", "mp4_sparse_100gb.mp4",
        "mp4_100_tracks_2_sidx.mp4", "mp4_trun_10m_samples.mp4", "mp4_edits_150k.mp4"]],
    # Lengths the media does not hold: stated by headers, by one tag or cluster far on, or by
    # a clock that jumps an hour between two pieces.
    *[(name, "info", CLIP + FAIL) for name in [
        "mp4_mehd_1h.mp4", "mp4_fragment_10k_missing.mp4", "mkv_duration_1h.mkv",
        "avi_header_1h.avi", "asf_header_1h.asf", "mp3_xing_30min.mp3", "flv_cue_point_1h.flv",
        "flv_audio_tag_1h.flv", "mkv_cluster_1h.mkv", "ts_pieces_1h_apart.ts",
        "mpg_pieces_1h_apart.mpg", "mp4_mvhd_8900ms.mp4"]],
    ("mp4_cut_after_moov.mp4", "info", FAIL),
    # The contract. Decoding VP9 on threads opened a kernel file (glibc trimming a thread's
    # heap). A track that declares encryption, whatever it says of its key, scrambled or not.
    # Every block of HEVC flagged a key frame: the decoder, not the container, says which
    # pictures are whole (the next sync frame is at 2 s). A damaged sync frame (2 s): the
    # next whole picture is the next sync frame. A link to a device is never opened.
    ("vp9_indexed.webm", "0.99", ("frame", 99)), ("vp9_indexed.webm", "0.3", ("frame", 30)),
    ("mkv_aes_without_key_id.mkv", "0.5", FAIL), ("mkv_aes_declared_clear.mkv", "0.5", FAIL),
    ("mkv_hevc_every_block_key.mkv", "0.3", ("frame", 50) + FAIL),
    ("mkv_damaged_key_frame.mkv", "0.5", ("frame", 75) + FAIL),
    ("device_link.mp4", "info", FAIL), ("device_link.mp4", "0.5", FAIL),
])
def test_bounded_work(crafted, name, what, expected):
    path = FIXTURES / name if (FIXTURES / name).exists() else crafted / name
    result, faults, foreign = watched(path, what)
    expect_bounded(result)
    assert faults == [] and foreign == []
    # A picture is the same every time: the same bytes, or always the failure.
    for again in range(4 if what != "info" else 0):
        repeated = korvel(*arguments(path, what))
        expect_bounded(repeated)
        assert (repeated.status, repeated.out) == (result.status, result.out), f"run {again + 2}"
    if expected == FAIL or "fail" in expected and result.status == 1:
        expect_failure(result)
    else:
        assert result.status == 0 and result.out and result.err == b"", str(result)
        if expected[0] == "frame":
            assert Picture(result.out).frame_index() == expected[1]
        elif expected[0] == "indexed":
            Picture(result.out).frame_index()
        elif isinstance(expected[0], int):
            assert abs(info_ms(result) - expected[0]) <= expected[1]


@needs_strace
def test_no_byte_of_the_file_chooses_code_to_load(crafted):
    # A DVB text names its character set by its first byte; which conversion modules glibc
    # loads must not depend on it.
    def modules(name):
        result, lines = traced(["info", b64(crafted / name)], "-e", "trace=openat")
        assert result.status == 0, str(result)
        return {re.search(r'"[^"]*"', line)[0] for line in lines
                if "/gconv/" in line and "ENOENT" not in line}
    assert modules("ts_name_gb2312.ts") == modules("ts_name_ucs2.ts")


@pytest.mark.skipif(SANITIZED, reason="the sanitizers' memory is no measure of korvel's")
@pytest.mark.parametrize("name, what", [("ts_14000x14000.ts", "info"),
                                        ("h264_12000x12000.mp4", "0.5")])
def test_no_picture_past_the_size_cap_is_decoded(crafted, name, what):
    # A picture whose parameter set says 14000x14000 (12000x12000) is refused at once, by the
    # probing of MPEG-TS with sound as by korvel's decoder, not decoded in 400 MiB more.
    result = korvel(*arguments(crafted / name, what))
    assert result.rss_kb < 200 * 1024, str(result)
    if what == "info":
        assert abs(info_ms(result) - 2000) <= 100
    else:
        expect_failure(result)


@pytest.mark.skipif(SANITIZED, reason="the sanitizers' time is no measure of korvel's")
@pytest.mark.parametrize("what", ["info", "0.5"])
def test_reading_stops_at_its_bound(crafted, what):
    # 256 MiB of the sparse file's zeros are read in about a second; without the bound only
    # the processor-time bound would end the run.
    result = korvel(*arguments(crafted / "sparse.ts", what))
    expect_failure(result)
    assert result.cpu < 2.5, str(result)


@pytest.mark.parametrize("position, decodes", [("0", True), ("0.25", True), ("0.9", False)])
def test_largest_picture_within_the_memory_cap(position, decodes):
    # 8192x8192 AV1: frame 2 needs four pictures of 96 MiB, which fit under the cap; frame 7
    # needs five, and dav1d 64 MiB more of its own: past the cap a decoder drops a frame and
    # decodes the later ones from what it still holds, so the answer is the failure. Without
    # the cap (sanitizers) every frame decodes.
    result = frame(FIXTURES / "av1_8192x8192.mp4", position)
    if decodes or SANITIZED:
        assert result.status == 0 and result.out, str(result)
    else:
        expect_failure(result)


@needs_strace
def test_file_that_says_it_is_empty_is_not_read():
    # procfs and sysfs files say size 0 and yet have bytes; reading some (a kernel log) takes
    # what it reads away from its owner.
    result, lines = traced(["info", b64("/proc/sys/kernel/hostname")], "-y", "-e",
                           "trace=read,pread64")
    expect_failure(result)
    assert [line for line in lines if "/hostname>" in line] == []


@needs_strace
def test_watchdog_ends_the_run_at_30_seconds():
    # korvel sleeps to an absolute CLOCK_MONOTONIC deadline; the trace shows it, so its delay
    # is checked against this process's own clock at the launch without waiting for it.
    before = time.clock_gettime(time.CLOCK_MONOTONIC)
    # A run long enough (half a second of decoding) for the watchdog's thread to be asleep.
    result, lines = traced(["frame", b64(FIXTURES / "long_gop_h264_1080p.mp4"), "0.99", "256"],
                           "-e", "trace=clock_nanosleep")
    after = time.clock_gettime(time.CLOCK_MONOTONIC)
    assert result.status == 0, str(result)
    deadline = re.search(r"clock_nanosleep\(CLOCK_MONOTONIC, TIMER_ABSTIME, "
                         r"\{tv_sec=(\d+), tv_nsec=(\d+)\}", "\n".join(lines))
    assert deadline, lines
    delay = int(deadline[1]) + int(deadline[2]) / 1e9 - before
    assert 30 <= delay <= 30 + (after - before), (delay, after - before)
