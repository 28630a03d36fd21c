"""`korvel info` on the fixtures; their facts are in tests/fixtures/README.md."""
import pytest

from harness import FIXTURES, expect_failure, expect_json, info, info_ms


@pytest.mark.parametrize("name, ms", [
    ("info_1500ms.mp4", 1500), ("info_1500ms.mkv", 1500), ("indexed_h264_bframes.mp4", 2000),
    ("indexed_h264_empty_edit.mp4", 2500),  # a 0.5 s empty edit before 2 s of media
    ("indexed_vp9.webm", 2000), ("indexed_h264.ts", 2000), ("indexed_h264_pts_wrap.ts", 2000),
    ("long_gop_h264.mp4", 30000), ("audio_1250ms.wav", 1250), ("audio_1000ms.flac", 1000),
    ("corners_rotate_cw90.mp4", 1000), ("anamorphic_sar2.mp4", 1000),
    ("cover_attachment.mkv", 1000), ("cover_attached_pic.mp4", 1000),  # covers have no time
    ("indirection_canary.ts", 1000),  # the canary the indirection tests watch could be read
    ("codecs/audio.mp3", 1152),  # MP3's length includes the encoder's delay and padding
    ("codecs/audio.aiff", 1000), ("picture/cenc_clear_samples.mp4", 1000),
])
def test_exact_duration(name, ms):
    expect_json(info(FIXTURES / name), ms)


@pytest.mark.parametrize("name", [
    "zero_duration.mp4", "header_only.wav", "not_media.txt", "still.png", "still.jpg"])
def test_no_usable_duration_fails(name):
    expect_failure(info(FIXTURES / name))


# Headers that say "unknown", state nothing, or only let the bit rate be guessed: the true
# length, counted from the samples and frames, within one frame or audio packet.
@pytest.mark.parametrize("name, ms, tolerance", [
    # Headers all ones; the last audio sample lasts 768 of 1024 ticks (2.0213 s).
    ("fragmented_unknown_duration.mp4", 2021, 21), ("plain_unknown_duration.mp4", 2000, 21),
    # PCM: the data size over the block size is exact.
    ("pcm_u8_piped.wav", 997, 0), ("truncated.wav", 1810, 0),
    # 174 frames of 1152 samples at 44.1 kHz (4.049 s); one frame is 26 ms.
    ("cbr_no_xing.mp3", 4048, 26), ("cbr_no_xing_id3.mp3", 4048, 26),
    ("cbr_xing.mp3", 4048, 26), ("vbr_no_xing.mp3", 4048, 26), ("vbr_xing.mp3", 4048, 26),
    # 131 frames of 1024 samples at 22.05 kHz; the bit rate of its silent start says 60 s.
    ("adts.aac", 6083, 46), ("flac_piped.flac", 4000, 0),
    # Clocks that start at 600 s; the FLV header states no duration.
    ("late_start_theora.ogg", 2000, 40), ("late_start_h264.flv", 2000, 40),
])
def test_true_length(name, ms, tolerance):
    assert abs(info_ms(info(FIXTURES / "durations" / name)) - ms) <= tolerance


def test_live_webm_length_from_last_timestamps():
    # Written to a pipe: no duration in the header; 60 frames at 25 fps. The last frame's own
    # length counts, as a player's seek bar shows it.
    assert abs(info_ms(info(FIXTURES / "live_vp9_no_duration.webm")) - 2400) <= 1


def test_long_mp3_measured_only_when_its_bit_rate_is_constant(tmp_path):
    # Longer than is read packet by packet (64 MiB): frames at the start, middle and end of a
    # constant bit rate share one size, so the estimate from it is exact (to the padding of
    # the joined pieces); for a variable one it is a guess, and fails.
    pieces, piece_ms = 5000, 4048.979
    for name in ("cbr_no_xing.mp3", "vbr_no_xing.mp3"):
        (tmp_path / name).write_bytes((FIXTURES / "durations" / name).read_bytes() * pieces)
    assert info_ms(info(tmp_path / "cbr_no_xing.mp3")) == pytest.approx(pieces * piece_ms,
                                                                        rel=1e-5)
    expect_failure(info(tmp_path / "vbr_no_xing.mp3"))
