"""`korvel info` over the duration matrix (tests/fixtures/matrix): containers x codecs x
lengths x header states, each file's answer against the length its full decode or its
container's own rule gives. The whole matrix is printed as a table at the end of the module
and kept in the build folder (duration_matrix/table.txt), so that a reader sees where korvel,
the oracle, ffprobe and mediainfo part ways. The files are made when the module is collected,
anew only when their script changed (tests/fixtures/matrix/README.md)."""
import sys

import pytest

from harness import BUILD, FAILURE_LINE, FIXTURES, info

sys.path.insert(0, str(FIXTURES / "matrix"))
import make_matrix  # noqa: E402

FOLDER = BUILD / "duration_matrix"
ROWS = make_matrix.ensure(FOLDER)
ANSWERS = {}  # row id: (korvel's answer, verdict), for the table


@pytest.fixture(scope="module", autouse=True)
def matrix_table(request):
    yield
    text = make_matrix.table(ROWS, ANSWERS)
    (FOLDER / "table.txt").write_text(text)
    capture = request.config.pluginmanager.getplugin("capturemanager")
    with capture.global_and_fixture_disabled():
        print(f"\nDuration matrix (ms; {FOLDER / 'table.txt'}):\n{text}")


def answer(path):
    """korvel's milliseconds, "fail" for the failure line, or what else it did."""
    result = info(path)
    if result.status == 1 and result.out == b"" and result.err == FAILURE_LINE:
        return "fail"
    digits = result.out.removeprefix(b'{"duration_ms":').removesuffix(b"}")
    if (result.status == 0 and result.err == b"" and digits.isdigit()
            and result.out == b'{"duration_ms":%d}' % int(digits)):
        return int(digits)
    return f"broken: {result}"


@pytest.mark.parametrize("row", ROWS, ids=[row["id"] for row in ROWS])
def test_duration(row):
    if "skip" in row:
        pytest.skip(row["skip"])
    got = answer(FOLDER / row["file"])
    if row["oracle_s"] is None:  # nothing decodes: no length to stand behind
        right = got == "fail"
    else:  # within one packet or frame, and korvel's truncation to whole milliseconds
        right = isinstance(got, int) and abs(got - row["oracle_s"] * 1000) <= (
            row["tolerance_s"] * 1000 + 1)
    ANSWERS[row["id"]] = (str(got), "ok" if right else "WRONG")
    assert right, "\n" + make_matrix.table([row], ANSWERS)


def test_witnesses_agree():
    """The oracle itself: where a container's rule gives the length, the decode agrees with it
    (to 3 ms where the rule counts samples: FFmpeg's Vorbis decoder drops the first block's 128
    samples, 2.9 ms at 44.1 kHz; to one packet or frame elsewhere); and every oracle lies
    within three packets or frames of the length the source was asked for (encoder delay,
    padding and the last frame's rounding)."""
    odd = []
    for row in ROWS:
        if "skip" in row or row["oracle_s"] is None:
            continue
        if row["rule"] and abs(row["rule_s"] - row["decoded_s"]) > (
                0.003 if row["exact"] else row["step_s"]):
            odd.append(f"{row['id']}: {row['rule']} and decode disagree")
        if abs(row["oracle_s"] - row["source_s"]) > 3 * row["step_s"] + 0.001:
            odd.append(f"{row['id']}: the oracle is far from the source's length")
    assert not odd, "\n".join(odd) + "\n" + make_matrix.table(ROWS)
