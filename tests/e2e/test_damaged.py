"""Damaged copies of every media file, fixtures and shared media: one cut and eight flipped
bytes at places chosen by the file's name, each run ending with the output contract and no
fault, opening nothing but the file. The hostile and fuzzed inputs are in test_hardening.py."""
import random

import pytest

from harness import FAILURE_LINE, FIXTURES, SHARED_MEDIA
from test_hardening import watched

NOT_MEDIA = {".sh", ".py", ".md", ".txt", ".m3u8", ".ffconcat", ".sdp", ".tsv", ""}
FILES = [pytest.param(p, id=str(p.relative_to(p.parents[1])))
         for root in (FIXTURES, SHARED_MEDIA) for p in sorted(root.rglob("*"))
         if p.is_file() and p.suffix not in NOT_MEDIA]


@pytest.mark.parametrize("path", FILES)
def test_damaged_copy_keeps_the_contract(tmp_path, path):
    data = path.read_bytes()
    chance = random.Random(path.name)
    flipped = bytearray(data)
    for _ in range(8):
        flipped[chance.randrange(len(data))] ^= chance.randrange(1, 256)
    for how, damaged in [("cut", data[:chance.randrange(1, len(data))]), ("flipped", flipped)]:
        copy = tmp_path / ("damaged" + path.suffix)
        copy.write_bytes(damaged)
        for what in ("info", "0.5"):
            result, faults, foreign = watched(copy, what)
            assert faults == [] and foreign == [], (how, faults, foreign)
            assert result.signal is None and result.status in (0, 1), (how, str(result))
            if result.status == 1:
                assert (result.out, result.err) == (b"", FAILURE_LINE), (how, str(result))
            else:
                shape = b'{"duration_ms":' if what == "info" else b"\xff\xd8"
                assert result.out.startswith(shape) and result.err == b"", (how, str(result))
