"""The shared media collection (../shared/media, read in place, skipped when absent) against
shared_media.tsv, made by make_shared_media.sh from ffprobe and mediainfo as second opinions
and the files' own timestamps where those two disagree."""
import csv
import pathlib

import pytest

from harness import SHARED_MEDIA, expect_failure, frame, info, info_ms, thumbnail

with open(pathlib.Path(__file__).with_name("shared_media.tsv")) as table:
    ROWS = list(csv.DictReader(table, delimiter="\t"))


@pytest.mark.skipif(not SHARED_MEDIA.is_dir(), reason=f"{SHARED_MEDIA} is absent")
@pytest.mark.parametrize("row", ROWS, ids=[row["file"] for row in ROWS])
def test_info_and_frame(row):
    path = SHARED_MEDIA / row["file"]
    assert path.is_file(), f"{path} is listed but missing"
    if float(row["expected_s"] or 0) <= 0:  # no length korvel can stand behind
        expect_failure(info(path))
    else:
        assert abs(info_ms(info(path)) - float(row["expected_s"]) * 1000) <= 1
    if row["frame_at_256"] == "fail":
        expect_failure(frame(path))
    else:
        thumbnail(frame(path), *map(int, row["frame_at_256"].split("x")))
