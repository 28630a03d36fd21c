"""`korvel frame`: which picture comes back, its size, shape and colours. Expected frames follow
from the fixtures' facts (tests/fixtures/README.md) and the 1/600 s rounding of request times."""
import math
from collections import namedtuple

import pytest

from harness import FIXTURES, expect_failure, frame, info, info_ms, thumbnail


# In ticks of 1/600 s: ffprobe's container duration, where frame 0 begins on korvel's
# timeline, and each frame's length.
Indexed = namedtuple("Indexed", "name duration first per_frame frames",
                     defaults=(1200, 0, 24, 50))
EMPTY_EDIT = Indexed("indexed_h264_empty_edit.mp4", 1500, 300)  # frame 0 at 0.5 s
TS_WRAP = Indexed("indexed_h264_pts_wrap.ts")  # wraps between 25 and 26
LONG_AUDIO = Indexed("indexed_h264_long_audio.mp4", frames=25)  # 1 s video, 2 s audio
LONG_GOP = Indexed("long_gop_h264.mp4", 18000, 0, 20, 900)  # one keyframe, within the budget
# A transport stream's timeline begins at its first timestamp (PTS 1.48 s), and so do clocks
# that start at 600 s (the FLV states no duration; the library's guess would be 601.88 s).
INDEXED = [EMPTY_EDIT, TS_WRAP] + [Indexed(name) for name in (
    "indexed_h264_bframes.mp4", "indexed_vp9.webm", "indexed_h264.ts",
    "durations/late_start_theora.ogg", "durations/late_start_h264.flv")]


def around(fixture, n, which="SUDM"):
    """Request times near frame n's start: S the start, U just under it so that rounding lands
    on it, D further under so that rounding lands on the tick before, M the middle."""
    start = fixture.first + n * fixture.per_frame
    offsets = {"S": 0, "U": -0.4, "D": -0.6, "M": fixture.per_frame / 2}
    return [(fixture, start + offsets[w]) for w in which]


def frame_cases():
    cases = []
    for f in INDEXED:
        # Frame 25 is the second keyframe: frame 24 needs the first GOP decoded to its end.
        cases += [(f, 0)] + around(f, 1) + around(f, 25, "SD") + around(f, 26, "SM") + \
            around(f, f.frames - 1, "SD") + [(f, "last")]
    cases += around(TS_WRAP, 27, "S") + around(TS_WRAP, 40, "M")
    cases += [(EMPTY_EDIT, 150), (EMPTY_EDIT, 299.4)]
    cases += [(LONG_AUDIO, t) for t in (576, 600, 900, "last")]
    cases += around(LONG_GOP, 600, "SD") + [(LONG_GOP, "last")]
    return cases


@pytest.mark.parametrize("fixture, ticks", frame_cases(),
                         ids=lambda v: v.name if isinstance(v, Indexed) else str(v))
def test_frame_shown_at_the_time(fixture, ticks):
    if ticks == "last":  # the largest position below 1
        position, expected = math.nextafter(1.0, 0.0), fixture.frames - 1
    else:  # the last frame begun by then, else the first
        position = ticks / fixture.duration
        expected = min(max(round(ticks) - fixture.first, 0) // fixture.per_frame,
                       fixture.frames - 1)
    picture = thumbnail(frame(FIXTURES / fixture.name, repr(position)), 256, 192)
    assert picture.frame_index() == expected


# 150 million luma pixels after the keyframe: 72 frames of 1920x1080. No B-frames, so frame n
# needs frames 1..n; past the budget the latest decoded frame is the answer.
@pytest.mark.parametrize("requested, shown", [(0, 0), (70, 70), (140, 72)])
def test_decoding_budget(requested, shown):
    result = frame(FIXTURES / "long_gop_h264_1080p.mp4", repr(requested * 20 / 3000))
    assert thumbnail(result, 256, 144).frame_index() == shown


# The fit's arithmetic is unit-tested; these check that korvel fits the shown picture, with the
# box as given. 1920x1080 into 90: 90 * 1080 / 1920 = 50.625; shown 320x120 (SAR 2:1) into
# 200.9: 200 * 120 / 320 = 75.
@pytest.mark.parametrize("name, size, width, height", [
    ("indexed_h264_bframes.mp4", "1024", 320, 240),  # never enlarged
    ("indexed_h264_bframes.mp4", "100.5", 100, 75), ("long_gop_h264_1080p.mp4", "90", 90, 51),
    ("anamorphic_sar2.mp4", "1024", 320, 120), ("anamorphic_sar2.mp4", "200.9", 200, 75),
])
def test_size_fits_the_box(name, size, width, height):
    thumbnail(frame(FIXTURES / name, "0", size), width, height)


# Sound only; encrypted, though its samples happen to decode; Dolby Vision without a compatible
# base layer. (Files with neither duration nor picture are in test_info.py.)
@pytest.mark.parametrize("name", ["audio_1250ms.wav", "audio_1000ms.flac",
                                  "picture/cenc_clear_samples.mp4",
                                  "hdr/dolby_vision_profile5.mp4"])
def test_no_picture_to_give(name):
    expect_failure(frame(FIXTURES / name))


@pytest.mark.parametrize("name", ["cover_attachment.mkv", "cover_attached_pic.mp4"])
def test_video_not_cover(name):
    # The cover is magenta, the video green.
    r, g, b = thumbnail(frame(FIXTURES / name), 160, 120).mean(0, 0, 160, 120)
    assert r < 40 and g > 215 and b < 40, (r, g, b)


@pytest.mark.parametrize("name, middle, width, height, duration", [
    (name, 5, 128, 96, 1000) for name in
    ("vp8.webm", "h263p.avi", "mjpeg.avi", "theora.ogg", "wmv1.asf", "wmv2.wmv",
     "msmpeg4v2.avi", "msmpeg4v3.avi", "flv1.flv", "prores.mov")] + [
    ("mpeg1video.mpg", 12, 128, 96, 1000),
    ("dvvideo.avi", 0, 256, 171, 33),  # one NTSC frame; the AVI header states square pixels
])
def test_accepted_codec(name, middle, width, height, duration):
    # A demuxer, decoder or parser missing from the FFmpeg korvel is built with shows here.
    assert info_ms(info(FIXTURES / "codecs" / name)) == duration
    picture = thumbnail(frame(FIXTURES / "codecs" / name), width, height)
    assert picture.frame_index() == middle


@pytest.mark.parametrize("name, position, expected", [
    # 2 s of 25 fps beside a default track of 0.48 s: the long one, where both play and after;
    # beside one of 1.2 s, the long one once the other has ended.
    ("two_tracks_short_default.mp4", "0.1", 5), ("two_tracks_short_default.mp4", "0.9", 45),
    ("two_tracks_long_default.mp4", "0.9", 45),
    # Both the default and both 2 s long, one moving and one of two larger stills: the moving.
    ("motion_photo_stills.mp4", "0.1", 5), ("motion_photo_stills.mp4", "0.5", 25),
    # Cut between sync frames: the first picture decoded with its references, then the frame
    # at the time (frame n at (n - 11) / 25 s, and at (n - 8) / 25 s).
    ("ts_cut_open_gop.ts", "0", 25), ("ts_cut_open_gop.ts", "0.2", 25),
    ("ts_cut_open_gop.ts", "0.3047", 30), ("ts_cut_gradual_refresh.ts", "0", 43),
    ("ts_cut_gradual_refresh.ts", "0.45", 43), ("ts_cut_gradual_refresh.ts", "0.5597", 45),
    ("ts_damaged_frame.ts", "0.5", 13),  # frame 12 of 25 is damaged: the next whole one
    # A seek lands on an I frame that is no instantaneous refresh.
    ("open_gop_h264.mp4", "0.33", 16), ("open_gop_h264.mp4", "0.99", 49),
])
def test_picture_decoded_with_its_references(name, position, expected):
    result = frame(FIXTURES / "picture" / name, position)
    assert thumbnail(result, 256, 192).frame_index() == expected


def test_only_the_picture_area_is_shown():
    # Coded 368x240, shown 360x240 of grey; the 4 coded columns either side are red.
    picture = thumbnail(frame(FIXTURES / "picture/cropped_h264.mp4", "0"), 256, 171)
    for x in (0, picture.width - 2):
        r, g, b = picture.mean(x, 0, x + 2, picture.height)
        assert abs(r - g) <= 12, (x, r, g, b)


# The corners fixtures have a red, green, blue and white block in the corners
# (tests/fixtures/README.md); each lands where the display matrix shows it, and a picture
# turned on its side is fitted as shown.
@pytest.mark.parametrize("name, size, width, height, corners", [
    ("corners.mp4", "1024", 160, 90, "red green blue white"),
    ("corners_rotate_cw90.mp4", "1024", 90, 160, "blue red white green"),
    ("corners_rotate_cw90.mp4", "64", 36, 64, "blue red white green"),
    ("corners_rotate_180.mp4", "1024", 160, 90, "white blue green red"),
    ("corners_rotate_ccw90.mp4", "1024", 90, 160, "green white red blue"),
    ("corners_hflip.mp4", "1024", 160, 90, "green red white blue"),
    ("corners_transpose.mp4", "64", 36, 64, "red blue green white"),
])
def test_upright(name, size, width, height, corners):
    picture = thumbnail(frame(FIXTURES / name, "0.5", size), width, height)
    assert picture.corners() == corners


def test_non_square_pixels_widen_the_picture():
    # Coded 160x120 with 2:1 pixels and a red 40x30 block at the top left: shown 320x120 with
    # the block 80x30.
    picture = thumbnail(frame(FIXTURES / "anamorphic_sar2.mp4", "0.5", "1024"), 320, 120)
    red = [x for x in (20, 60, 100) if picture.around(x, 15, 3)[0] > 200 and
           picture.around(x, 15, 3)[1] < 60]
    assert red == [20, 60]


# Colour bars stored as BT.601 or BT.709, limited or full range, tagged or not (untagged:
# BT.601 below 720 lines, BT.709 from 720) come back as their source sRGB values. Encoding
# keeps patches within 3 and JPEG at q85 moves them about 3 more; the wrong matrix or range
# moves some patch of every file by 10 to 30.
TOP_ROW = [(191, 191, 191), (191, 191, 0), (0, 191, 191), (0, 191, 0), (191, 0, 191),
           (191, 0, 0), (0, 0, 191), (0, 0, 0)]
BOTTOM_ROW = [(v, v, v) for v in (0, 36, 73, 109, 146, 182, 219, 255)]


@pytest.mark.parametrize("name, size, width, height", [
    (name, size, width, width // 2) for name in
    ("bars_bt709_limited.mp4", "bars_bt709_full.mp4", "bars_bt601_limited.mp4",
     "bars_bt601_full.mp4", "bars_untagged.mp4") for size, width in (("1024", 320), ("160", 160))
] + [("bars_untagged_720p.mp4", "1024", 1024, 576), ("bars_untagged_720p.mp4", "320", 320, 180)])
def test_colour_bars(name, size, width, height):
    picture = thumbnail(frame(FIXTURES / name, "0.5", size), width, height)
    bar, row = width // 8, height // 2
    for y, expected_row in ((0, TOP_ROW), (row, BOTTOM_ROW)):
        for i, expected in enumerate(expected_row):
            # The middle half of the patch, clear of the blended edges.
            got = picture.mean(i * bar + bar // 4, y + row // 4, i * bar + 3 * bar // 4,
                               y + 3 * row // 4)
            assert all(abs(a - b) <= 8 for a, b in zip(got, expected)), (i, y, got, expected)


@pytest.mark.parametrize("name", ["untagged_10bit_hevc_720p.mp4", "untagged_10bit_vp9.webm",
                                  "bt709_10bit_hevc.mp4"])
def test_ten_bit_sdr_is_not_read_as_hdr(name):
    # Red, green, blue and grey quarters. Read as HDR, grey comes out near 254 and green as
    # (1, 233, 133); read with the other SD/HD matrix, green is 26 to 29 off.
    picture = thumbnail(frame(FIXTURES / "picture" / name), 256, 144)
    for i, expected in enumerate([(200, 30, 30), (30, 200, 30), (30, 30, 200), (180, 180, 180)]):
        got = picture.mean(i * 64 + 16, 36, i * 64 + 48, 108)
        assert all(abs(a - b) <= 8 for a, b in zip(got, expected)), (i, got)
