"""The desktop's thumbnailer, korvel's against ffmpegthumbnailer as Debian's entry runs it.

Usage: thumbnailer.py BUILD_DIR [--runs N] [--media DIR] [--report FILE]

Both are run as a desktop runs them (`korvel-thumbnailer -s 256 IN OUT`, `ffmpegthumbnailer -i IN
-o OUT -s 256 -f`; both at 10 % of the video). For each file:
- exactness: which frame the thumbnail shows, against the frame a player shows at 10 %. The
  index-coded fixtures say it themselves; for the shared media the thumbnail is matched against
  every decoded frame near that time (best correlation of grey levels), which tells frames apart
  wherever the picture moves.
- time: hyperfine, both commands side by side, mean of N runs after 2 warm-ups.
"""
import argparse
import json
import math
import operator
import os
import pathlib
import re
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
FIXTURES = HERE.parent / "tests" / "fixtures"
sys.path.insert(0, str(FIXTURES))
from check_indexed import read_index  # noqa: E402

SIZE = 256
POSITION = 0.1
# Index-coded fixtures: the frame shown at 10 % (tests/fixtures/README.md).
INDEXED = {
    "indexed_h264_bframes.mp4": 5,  # 2.0 s at 25 fps, sync frames 0 and 25
    "indexed_vp9.webm": 5,
    "indexed_h264.ts": 5,
    "indexed_h264_pts_wrap.ts": 5,
    "indexed_h264_long_audio.mp4": 5,
    "live_vp9_no_duration.webm": 6,  # 2.4 s
    "long_gop_h264.mp4": 90,  # 30 s at 30 fps, one sync frame
    "long_gop_h264_1080p.mp4": 15,  # 5 s at 30 fps, one sync frame
}


def tools(prefix):
    return {
        "korvel": lambda src, out: [str(prefix / "bin" / "korvel-thumbnailer"), "-s", str(SIZE),
                                    str(src), str(out)],
        "ffmpegthumbnailer": lambda src, out: ["ffmpegthumbnailer", "-i", str(src), "-o",
                                               str(out), "-s", str(SIZE), "-f"],
    }


def grey(png):
    """A PNG's size and grey levels."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=width,height",
                            "-of", "csv=p=0", str(png)], capture_output=True, text=True,
                           check=True).stdout.strip().split(",")
    width, height = int(probe[0]), int(probe[1])
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", str(png), "-f", "rawvideo", "-pix_fmt",
                          "gray", "-"], capture_output=True, check=True).stdout
    return width, height, raw


def sampled(raw, width, height):
    """Every other pixel of every other row: enough to tell frames apart, four times faster."""
    return b"".join(raw[y * width:(y + 1) * width:2] for y in range(0, height, 2))


def correlation(a, b):
    n = len(a)
    sum_a, sum_b = sum(a), sum(b)
    cov = sum(map(operator.mul, a, b)) - sum_a * sum_b / n
    var_a = sum(map(operator.mul, a, a)) - sum_a * sum_a / n
    var_b = sum(map(operator.mul, b, b)) - sum_b * sum_b / n
    if var_a <= 0 or var_b <= 0:
        return 1.0 if a == b else 0.0
    return cov / math.sqrt(var_a * var_b)


def timeline(video):
    """Duration, where the timeline starts, and the first timestamp. A broadcast stream's clock
    runs free, so its timeline begins at its first timestamp; other containers' begin at zero (an
    empty edit before the first frame included)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "format=format_name,duration,start_time", "-of", "json", str(video)],
                         capture_output=True, text=True, check=True).stdout
    fmt = json.loads(out)["format"]
    start = float(fmt.get("start_time") or 0)
    free_running = fmt["format_name"] in ("mpegts", "mpeg")
    return float(fmt["duration"]), start if free_running else 0.0, start


def frames_near(video, time, first, width, height):
    """(pts, grey levels at width x height) of every frame within 3 s of time, or of the first
    timestamp when that comes later."""
    start, end = time - 3.0, max(time, first) + 3.0
    # Decoded from the start with the file's own timestamps: seeking cannot be trusted here.
    trim = f"trim=end={end:.6f}" + (f":start={start:.6f}" if start > 0 else "")
    result = subprocess.run(
        ["ffmpeg", "-v", "info", "-nostats", "-copyts", "-i", str(video), "-map", "0:v:0",
         "-fps_mode", "passthrough", "-vf",
         f"{trim},showinfo,"
         f"scale={width}:{height}:flags=area,format=gray", "-f", "rawvideo", "-"],
        capture_output=True, check=True)
    times = [float(t) for t in re.findall(rb"pts_time:\s*([-\d.]+)", result.stderr)]
    size = width * height
    pictures = [result.stdout[i * size:(i + 1) * size] for i in range(len(result.stdout) // size)]
    return list(zip(times, pictures))


def shown_frame_offset(video, png):
    """Frames between the one shown and the one a player shows at 10 % (0: exact)."""
    width, height, thumb = grey(png)
    duration, start, first = timeline(video)
    target = start + POSITION * duration
    frames = frames_near(video, target, first, width, height)
    if not frames:
        return None
    thumb = sampled(thumb, width, height)
    scores = [correlation(thumb, sampled(picture, width, height)) for _, picture in frames]
    # Printed times are rounded to 10 us, the container's start to 1 us. Before the first frame
    # (an empty edit) the first frame shows.
    expected = max((i for i, (pts, _) in enumerate(frames) if pts <= target + 1e-4), default=0)
    best = max(range(len(frames)), key=scores.__getitem__)
    # Frames that look alike (a still scene) cannot be told apart: as good a match is exact.
    if scores[expected] >= scores[best] - 1e-4:
        return 0
    return best - expected


def indexed_offset(png, expected):
    width, height, thumb = grey(png)
    try:
        return read_index(thumb, width, height) - expected
    except SystemExit:
        return None


def hyperfine(commands, runs):
    with tempfile.NamedTemporaryFile(suffix=".json") as export:
        subprocess.run(["hyperfine", "-N", "-w", "2", "-r", str(runs), "-i", "--export-json",
                        export.name, *commands], capture_output=True, check=True)
        results = json.load(open(export.name))["results"]
    return [(r["mean"] * 1000, (r["user"] + r["system"]) * 1000) for r in results]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--media", default=str(HERE.parent.parent / "shared" / "media"))
    parser.add_argument("--report")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="korvel-thumbnailer-bench-") as folder:
        report = measure(args, pathlib.Path(folder))
    print(report)
    if args.report:
        pathlib.Path(args.report).write_text(report)


def measure(args, work):
    prefix = work / "prefix"
    subprocess.run(["cmake", "--install", args.build, "--prefix", str(prefix)], check=True,
                   stdout=subprocess.DEVNULL)
    runners = tools(prefix)
    media = pathlib.Path(args.media)
    cases = [(FIXTURES / name, expected) for name, expected in INDEXED.items()]
    frames_table = HERE.parent / "tests" / "e2e" / "shared_media.tsv"
    if media.is_dir():
        lines = frames_table.read_text().splitlines()
        column = lines[0].split("\t").index("frame_at_256")
        for line in lines[1:]:
            name, answer = line.split("\t")[0], line.split("\t")[column]
            if answer != "fail" and (media / name).exists():
                cases.append((media / name, None))

    load_before = os.getloadavg()
    rows = []
    for video, expected in cases:
        row = {"file": video.name}
        for tool, command in runners.items():
            out = work / f"{tool}.png"
            out.unlink(missing_ok=True)
            made = subprocess.run(command(video, out), capture_output=True, timeout=120)
            if made.returncode != 0 or not out.exists():
                row[tool] = "fail"
            elif expected is not None:
                row[tool] = indexed_offset(out, expected)
            else:
                row[tool] = shown_frame_offset(video, out)
        commands = [" ".join(f"'{a}'" for a in command(video, work / f"t-{tool}.png"))
                    for tool, command in runners.items()]
        timings = hyperfine(commands, args.runs) if args.runs else [(math.nan, math.nan)] * 2
        (row["korvel_ms"], row["korvel_cpu"]), (row["ffmpegthumbnailer_ms"],
                                                 row["ffmpegthumbnailer_cpu"]) = timings
        rows.append(row)
        print(row, file=sys.stderr)
    load_after = os.getloadavg()

    def shown(value):
        if value == "fail" or value is None:
            return value or "?"
        return "exact" if value == 0 else f"{value:+d} frames"

    lines = ["| file | korvel shows | ffmpegthumbnailer shows | korvel ms (cpu) | "
             "ffmpegthumbnailer ms (cpu) |", "| --- | --- | --- | --- | --- |"]
    for row in rows:
        lines.append(f"| {row['file']} | {shown(row['korvel'])} | "
                     f"{shown(row['ffmpegthumbnailer'])} | "
                     f"{row['korvel_ms']:.0f} ({row['korvel_cpu']:.0f}) | "
                     f"{row['ffmpegthumbnailer_ms']:.0f} ({row['ffmpegthumbnailer_cpu']:.0f}) |")
    exact = {tool: sum(1 for row in rows if row[tool] == 0) for tool in runners}
    total = {tool: sum(row[f"{tool}_ms"] for row in rows) for tool in runners}
    cpu = {tool: sum(row[f"{tool}_cpu"] for row in rows) for tool in runners}
    ratios = sorted(row["ffmpegthumbnailer_ms"] / row["korvel_ms"] for row in rows)
    lines += ["", f"{len(rows)} files. Exact frame: korvel {exact['korvel']}, "
              f"ffmpegthumbnailer {exact['ffmpegthumbnailer']}. Time for all: korvel "
              f"{total['korvel'] / 1000:.2f} s, ffmpegthumbnailer "
              f"{total['ffmpegthumbnailer'] / 1000:.2f} s (CPU {cpu['korvel'] / 1000:.2f} s, "
              f"{cpu['ffmpegthumbnailer'] / 1000:.2f} s); median per-file time ratio "
              f"{ratios[len(ratios) // 2]:.2f}x. Load average before/after: "
              f"{load_before[0]:.1f} / {load_after[0]:.1f} on {os.cpu_count()} cores."]
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    main()
