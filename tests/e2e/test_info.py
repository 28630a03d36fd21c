"""`korvel info` on the fixtures; their facts are in tests/fixtures/README.md and
tests/fixtures/durations/README.md."""
import pytest

from harness import FIXTURES, expect_failure, frame, info, info_ms


# Stated lengths exactly; where headers say "unknown", state nothing, or only let the bit rate
# be guessed, the true length counted from the samples and frames, within one frame or packet.
@pytest.mark.parametrize("name, ms, tolerance", [(name, ms, 0) for name, ms in [
    ("info_1500ms.mp4", 1500), ("info_1500ms.mkv", 1500), ("indexed_h264_bframes.mp4", 2000),
    ("indexed_h264_empty_edit.mp4", 2500),  # a 0.5 s empty edit before 2 s of media
    ("indexed_vp9.webm", 2000), ("indexed_h264.ts", 2000), ("indexed_h264_pts_wrap.ts", 2000),
    ("long_gop_h264.mp4", 30000), ("audio_1250ms.wav", 1250), ("audio_1000ms.flac", 1000),
    ("corners_rotate_cw90.mp4", 1000), ("anamorphic_sar2.mp4", 1000),
    ("cover_attachment.mkv", 1000), ("cover_attached_pic.mp4", 1000),  # covers have no time
    ("indirection_canary.ts", 1000),  # the canary the indirection tests watch could be read
    ("codecs/audio.mp3", 1000),  # 16 frames of 72 ms, less the delay and padding of its LAME tag
    ("codecs/audio.aiff", 1000), ("picture/cenc_clear_samples.mp4", 1000),
    # PCM: the data size over the block size is exact.
    ("durations/pcm_u8_piped.wav", 997), ("durations/truncated.wav", 1810),
    ("durations/flac_piped.flac", 4000)]] + [
    # Headers all ones; the last audio sample lasts 768 of 1024 ticks (2.0213 s).
    ("durations/fragmented_unknown_duration.mp4", 2021, 21),
    ("durations/plain_unknown_duration.mp4", 2000, 21),
    ("durations/doubled_duration.mp4", 2000, 21),  # every header says 4 s
    # Cut at half its bytes: the headers count 50 frames, 23 whole ones are in the file.
    ("durations/cut_short.avi", 920, 40),
    # 155 frames of 1152 samples at 44.1 kHz (4.049 s); one frame is 26 ms. A LAME tag says
    # what of them is the encoder's delay and padding, which a decoder drops: 4 s are heard.
    *[(f"durations/{name}.mp3", 4048, 26) for name in
      ("cbr_no_xing", "cbr_no_xing_id3", "vbr_no_xing")],
    ("durations/cbr_xing.mp3", 4000, 0), ("durations/vbr_xing.mp3", 4000, 0),
    # 131 frames of 1024 samples at 22.05 kHz; the bit rate of its silent start says 60 s.
    ("durations/adts.aac", 6083, 46),
    # Clocks that start at 600 s; the FLV header states no duration.
    ("durations/late_start_theora.ogg", 2000, 40), ("durations/late_start_h264.flv", 2000, 40),
    # Written to a pipe, 60 frames at 25 fps: the last frame's own length counts, as a player's
    # seek bar shows it.
    ("live_vp9_no_duration.webm", 2400, 1),
])
def test_duration(name, ms, tolerance):
    assert abs(info_ms(info(FIXTURES / name)) - ms) <= tolerance


@pytest.mark.parametrize("name", [
    "zero_duration.mp4", "header_only.wav", "not_media.txt", "still.png", "still.jpg",
    # A movie header whose mehd says 5 s, and no sample; one whose samples are not in the file.
    "durations/init_segment.mp4", "durations/moov_without_media.mp4"])
def test_neither_duration_nor_picture(name):
    expect_failure(info(FIXTURES / name))
    expect_failure(frame(FIXTURES / name))


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
