"""The shared media collection (../shared/media, read in place, skipped when absent) against
shared_media.tsv, made by make_shared_media.sh from ffprobe and mediainfo as second opinions
and the files' own timestamps where those two disagree."""
import csv
import pathlib

import pytest

from harness import SHARED_MEDIA, expect_failure, frame, info, info_ms, thumbnail

with open(pathlib.Path(__file__).with_name("shared_media.tsv")) as table:
    ROWS = list(csv.DictReader(table, delimiter="\t"))


@pytest.fixture
def media(row):
    if not SHARED_MEDIA.is_dir():
        pytest.skip(f"{SHARED_MEDIA} is absent")
    path = SHARED_MEDIA / row["file"]
    assert path.is_file(), f"{path} is listed but missing"
    return path


@pytest.mark.parametrize("row", ROWS, ids=[row["file"] for row in ROWS])
def test_info(row, media):
    result = info(media)
    if float(row["expected_s"] or 0) <= 0:  # no length korvel can stand behind
        expect_failure(result)
    else:
        assert abs(info_ms(result) - float(row["expected_s"]) * 1000) <= 1


@pytest.mark.parametrize("row", ROWS, ids=[row["file"] for row in ROWS])
def test_frame(row, media):
    result = frame(media)
    if row["frame_at_256"] == "fail":
        expect_failure(result)
    else:
        thumbnail(result, *map(int, row["frame_at_256"].split("x")))
