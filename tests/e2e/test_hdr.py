"""HDR video shown as SDR: the patch fixtures of tests/fixtures/hdr (make_hdr_fixtures.sh) and
the HDR videos of the shared media against a reference rendering."""
import csv
import math
import statistics

import pytest

from harness import FIXTURES, SHARED_MEDIA, Picture, frame, thumbnail

# Four 64x64 patches: mid-grey (26 cd/m2), diffuse white (203 cd/m2), a highlight ramp from 203
# to 1000 cd/m2 and BT.2020's green primary; interiors clear of the chroma-blurred edges.
GREY, WHITE, GREEN, RAMP = 12, 76, 204, (132, 148, 164, 180)


def luma(rgb):
    return 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2]


def patch(picture, left):
    return picture.mean(left, 12, left + 40, 52)


def ramp(picture):
    return [luma(picture.mean(x - 2, 12, x + 2, 52)) for x in RAMP]


def oklab_hue(r, g, b):  # of linear BT.709 light
    l, m, s = (math.copysign(abs(v) ** (1 / 3), v) for v in (
        0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b,
        0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b,
        0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b))
    return math.degrees(math.atan2(0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s,
                                   1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s))


def linear(code):
    v = code / 255
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def patches(name):
    return thumbnail(frame(FIXTURES / "hdr" / name), 256, 64)


@pytest.mark.parametrize("name", ["pq_patches.mp4", "hlg_patches.mp4", "pq_patches_vp9.webm",
                                  "dolby_vision_profile8.mp4"])
def test_hdr_patches(name):
    picture = patches(name)
    # Diffuse white is reference white and 26 cd/m2 is 0.128 of it: sRGB code 100.
    assert all(abs(c - 100) <= 6 for c in patch(picture, GREY))
    # The tone curve keeps room above white for highlights: with 1000 cd/m2 content, 203 cd/m2
    # is 0.78 of SDR white, code 229; neutral.
    white = patch(picture, WHITE)
    assert all(220 <= c <= 240 for c in white) and max(white) - min(white) <= 3, white
    # The highlight ramp is no flat block.
    profile = ramp(picture)
    assert all(b >= a - 1 for a, b in zip(profile, profile[1:])), profile
    assert profile[0] <= 245 and profile[-1] - profile[0] >= 10, profile
    assert profile[0] > luma(white), profile
    # BT.2020's green keeps its hue; clipping each channel would show BT.709 green, 10 degrees
    # away.
    green = patch(picture, GREEN)
    assert abs(oklab_hue(*map(linear, green)) - oklab_hue(-0.5876, 1.1329, -0.1006)) <= 4, green
    assert green[1] > 120, green


def test_brighter_master_compresses_more():
    # MaxCLL 4000 cd/m2 instead of the 1000 assumed without metadata.
    plain, mastered = patches("pq_patches.mp4"), patches("pq_patches_mastered.mp4")
    assert luma(patch(mastered, WHITE)) < luma(patch(plain, WHITE)) - 10
    assert abs(luma(patch(mastered, GREY)) - 100) <= 6
    # 1000 cd/m2 is a quarter of the way to this master's peak: well below SDR white.
    profile = ramp(mastered)
    assert profile[-1] <= 252 and profile[-1] - profile[0] >= 20, profile


# Against the brightness and contrast of ffmpeg's zscale + hable rendering (hdr_reference.tsv,
# made by make_hdr_reference.sh). The curves differ by design: hable puts 26 cd/m2 grey at code
# 71 and 203 cd/m2 white at 178, korvel follows BT.2408 (100 and 229), 4-15 codes brighter on
# these videos. Shown as SDR without conversion a picture keeps its mean but loses a third or
# more of its contrast; a broken conversion shifts the mean by far more than 20 codes.
with open(FIXTURES.parent / "e2e" / "hdr_reference.tsv") as table:
    REFERENCES = list(csv.DictReader(table, delimiter="\t"))


@pytest.mark.parametrize("row", REFERENCES, ids=[row["file"] for row in REFERENCES])
def test_shared_hdr_near_reference(row):
    path = SHARED_MEDIA / row["file"]
    if not path.is_file():
        pytest.skip(f"{path} is absent")
    result = frame(path, row["position"], row["size"])
    assert result.status == 0, str(result)
    picture = Picture(result.out)
    assert abs(picture.width - int(row["width"])) <= 1
    assert abs(picture.height - int(row["height"])) <= 1
    values = [luma(picture.at(x, y)) for y in range(picture.height) for x in range(picture.width)]
    assert abs(statistics.fmean(values) - float(row["mean"])) <= 20
    stddev, reference = statistics.pstdev(values), float(row["stddev"])
    assert reference * 0.85 - 2 <= stddev <= reference * 1.35 + 2, stddev
