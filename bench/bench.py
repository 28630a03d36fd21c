#!/usr/bin/env python3
"""Time korvel against the Debian tools that answer the same questions.

`korvel info` is compared with ffprobe and mediainfo, `korvel frame` with
ffmpegthumbnailer and an exact-seek ffmpeg run. Every command is started the
same way (fork/exec from this script, output to a file), the commands of one
comparison are interleaved round by round so drifting machine load hits all of
them alike, and wall time plus peak resident memory (getrusage of the child)
are kept for every run.

Full mode writes BENCHMARKS.md at the repo root; --quick only times
`korvel info` against ffprobe over the shared sample media. Raw samples always
go to bench/results/ (git-ignored). Run it through bench/run.sh.
"""

from __future__ import annotations

import argparse
import base64
import csv
import datetime as dt
import hashlib
import json
import os
import platform
import signal
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import asdict, dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
BENCH = REPO / "bench"
WORK = BENCH / "work"
RESULTS = BENCH / "results"
BUILD_DIR = REPO / "build-bench"
KORVEL = BUILD_DIR / "korvel"
FLOOR_SRC = BENCH / "floor" / "floor.cpp"
FLOOR_BIN = WORK / "floor" / "floor"
FLOOR_LIBS = ["libavformat", "libavcodec", "libavutil", "libswscale", "libturbojpeg"]

# Files in the shared media folder that are not media.
SKIP_NAMES = {"MANIFEST.tsv", "LICENSE", "NOTICE"}

# Synthetic inputs. Each recipe is hashed into its file name, so editing a
# recipe makes a new file while an unchanged one is reused from bench/work/.
# Noise and moving test patterns keep the encoders (and so the decoders)
# doing real work instead of coding flat colour.
RECIPES = [
    {
        "name": "h264_1080p30_60s_gop250",
        "ext": "mp4",
        "args": [
            "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30,noise=alls=6:allf=t+u",
            "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000",
            "-t", "60",
            "-c:v", "libx264", "-preset", "veryfast", "-b:v", "6M", "-maxrate", "8M",
            "-bufsize", "12M", "-pix_fmt", "yuv420p",
            "-g", "250", "-keyint_min", "250", "-sc_threshold", "0",
            "-c:a", "aac", "-b:a", "128k",
        ],
    },
    {
        "name": "hevc_2160p30_10s",
        "ext": "mp4",
        "args": [
            "-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=30,noise=alls=6:allf=t+u",
            "-t", "10",
            "-c:v", "libx265", "-preset", "ultrafast", "-b:v", "20M", "-pix_fmt", "yuv420p",
            "-x265-params", "log-level=error", "-tag:v", "hvc1",
        ],
    },
    {
        "name": "vp9_1080p30_20s",
        "ext": "webm",
        "args": [
            "-f", "lavfi", "-i", "mandelbrot=size=1920x1080:rate=30",
            "-f", "lavfi", "-i", "sine=frequency=330:sample_rate=48000",
            "-t", "20",
            "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1",
            "-b:v", "4M", "-g", "150", "-pix_fmt", "yuv420p",
            "-c:a", "libopus", "-b:a", "96k",
        ],
    },
    {
        # libsvtav1 is far faster than libaom-av1 at comparable settings.
        "name": "av1_1080p30_20s",
        "ext": "mp4",
        "args": [
            "-f", "lavfi", "-i", "smptehdbars=size=1920x1080:rate=30,noise=alls=14:allf=t+u",
            "-t", "20",
            "-c:v", "libsvtav1", "-preset", "12", "-crf", "30", "-g", "150",
            "-pix_fmt", "yuv420p", "-svtav1-params", "lp=2",
        ],
    },
    {
        # Stored landscape, shown portrait. FFmpeg 5.1 drops the rotate tag
        # while encoding, so it is set in a second, stream-copy pass.
        "name": "hevc_2160p60_portrait_rot90_5s",
        "ext": "mp4",
        "args": [
            "-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=60,noise=alls=6:allf=t+u",
            "-t", "5",
            "-c:v", "libx265", "-preset", "ultrafast", "-b:v", "25M", "-pix_fmt", "yuv420p",
            "-g", "60", "-keyint_min", "60",
            "-x265-params", "log-level=error:scenecut=0", "-tag:v", "hvc1",
        ],
        "rotate": 90,
    },
]

INFO_TOOLS_FULL = ["korvel", "ffprobe", "mediainfo", "floor"]
INFO_TOOLS_QUICK = ["korvel", "ffprobe", "floor"]
FRAME_TOOLS = ["korvel", "ffmpegthumbnailer", "ffmpeg"]


def log(*parts: object) -> None:
    print(*parts, file=sys.stderr, flush=True)


def command_output(argv: list[str], cwd: Path | None = None) -> str:
    try:
        return subprocess.run(argv, cwd=cwd, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


# ---------------------------------------------------------------- building


def build_korvel(skip: bool) -> str:
    """Build korvel; on failure fall back to an older binary rather than stop.

    The sources are edited by others while benchmarks run, so a broken build
    is retried a few times before giving up on a fresh binary.
    """
    if skip:
        if not KORVEL.exists():
            sys.exit(f"--no-build given but {KORVEL} does not exist")
        return "not rebuilt (--no-build)"
    configure = ["cmake", "-S", str(REPO), "-B", str(BUILD_DIR), "-DCMAKE_BUILD_TYPE=Release",
                 "-DKORVEL_BUILD_TESTS=OFF"]
    build = ["cmake", "--build", str(BUILD_DIR), "-j2", "--target", "korvel"]
    for attempt in range(3):
        if attempt:
            log(f"korvel build failed, retrying in 20 s ({attempt}/2)")
            time.sleep(20)
        ok = True
        for argv in (configure, build):
            done = subprocess.run(argv, capture_output=True, text=True, check=False)
            if done.returncode != 0:
                ok = False
                last_error = (done.stdout + done.stderr).strip().splitlines()[-15:]
                break
        if ok:
            return "built"
    log("\n".join(last_error))
    if KORVEL.exists():
        log("WARNING: using the previously built korvel binary")
        return "stale binary (build failed)"
    sys.exit("korvel does not build and no earlier binary exists")


def korvel_needed() -> list[str]:
    """Shared libraries korvel's binary asks the loader for (DT_NEEDED)."""
    dynamic = command_output(["readelf", "-d", str(KORVEL)])
    return [line.split("[", 1)[1].split("]", 1)[0] for line in dynamic.splitlines() if "(NEEDED)" in line]


def build_floor() -> list[str]:
    """Build the floor program; return the libraries it loads beyond the C++ runtime.

    Besides the five libraries it calls, it is linked against whatever else
    korvel's binary needs (zimg, ...), kept with --no-as-needed, so its
    loader work tracks korvel's even as korvel's link line changes.
    """
    runtime = ("libc.so", "libm.so", "libstdc++.so", "libgcc_s.so", "ld-linux")
    extra = [lib for lib in korvel_needed()
             if not lib.startswith(runtime) and not any(lib.startswith(m + ".so") for m in FLOOR_LIBS)]
    stamp = FLOOR_BIN.with_suffix(".libs")
    wanted = "\n".join(extra)
    fresh = (FLOOR_BIN.exists() and stamp.exists() and stamp.read_text() == wanted
             and FLOOR_BIN.stat().st_mtime >= FLOOR_SRC.stat().st_mtime)
    if not fresh:
        FLOOR_BIN.parent.mkdir(parents=True, exist_ok=True)
        flags = command_output(["pkg-config", "--cflags", "--libs", *FLOOR_LIBS]).split()
        argv = ["c++", "-O2", "-std=c++20", str(FLOOR_SRC), "-o", str(FLOOR_BIN), *flags,
                "-Wl,--no-as-needed", *[f"-l:{lib}" for lib in extra]]
        subprocess.run(argv, check=True)
        stamp.write_text(wanted)
    return FLOOR_LIBS + extra


# ------------------------------------------------------------------- media


def recipe_path(recipe: dict) -> Path:
    key = hashlib.sha1(json.dumps(recipe, sort_keys=True).encode()).hexdigest()[:8]
    return WORK / "media" / f"{recipe['name']}.{key}.{recipe['ext']}"


def make_media() -> list[Path]:
    """Encode the synthetic inputs that are not cached yet."""
    media_dir = WORK / "media"
    media_dir.mkdir(parents=True, exist_ok=True)
    wanted = [recipe_path(r) for r in RECIPES]
    for stale in media_dir.iterdir():
        if stale not in wanted:
            stale.unlink()
    for recipe, dest in zip(RECIPES, wanted):
        if dest.exists():
            continue
        log(f"encoding {dest.name} (cached for later runs) ...")
        started = time.perf_counter()
        # Same extension as the result so ffmpeg picks the right muxer.
        partial = dest.with_name(dest.stem + ".partial." + recipe["ext"])
        base = ["ffmpeg", "-hide_banner", "-v", "error", "-y"]
        subprocess.run([*base, *recipe["args"], str(partial)], check=True)
        if "rotate" in recipe:
            rotated = dest.with_name(dest.stem + ".rotated." + recipe["ext"])
            subprocess.run([*base, "-i", str(partial), "-c", "copy",
                            f"-metadata:s:v:0", f"rotate={recipe['rotate']}", str(rotated)], check=True)
            partial.unlink()
            partial = rotated
        partial.rename(dest)
        log(f"  done in {time.perf_counter() - started:.0f} s")
    return wanted


def shared_media_dir(override: str | None) -> Path | None:
    candidates = [Path(override)] if override else [Path("/work/shared/media"), REPO.parent / "shared" / "media"]
    for candidate in candidates:
        if candidate.is_dir():
            return candidate
    return None


def media_files(folder: Path) -> list[Path]:
    return sorted(p for p in folder.rglob("*")
                  if p.is_file() and p.name not in SKIP_NAMES and not p.name.startswith("."))


# ----------------------------------------------------------------- running


@dataclass
class Sample:
    kind: str          # info | frame
    file: str
    tool: str
    p: float | None
    s: int | None
    round: int
    warmup: bool
    wall_s: float
    rss_kb: int
    status: int | None  # exit status; None when killed by a signal
    outcome: str        # ok | fail | timeout | bad-output
    detail: str = ""    # first stderr line, measured value or picture size


def run_timed(argv: list[str], stdout_path: Path, stderr_path: Path, timeout: float):
    """Run argv once; return (wall seconds, peak RSS kB, exit status, timed out)."""
    killed = threading.Event()

    def kill(pid: int) -> None:
        killed.set()
        try:
            os.killpg(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        started = time.perf_counter()
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                start_new_session=True)
        timer = threading.Timer(timeout, kill, (proc.pid,))
        timer.start()
        # wait4 rather than Popen.wait: it hands back the child's own rusage.
        _, wait_status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - started
        timer.cancel()
    code = os.waitstatus_to_exitcode(wait_status)
    proc.returncode = code  # tell Popen the child is already reaped
    status = code if code >= 0 else None
    return wall, usage.ru_maxrss, status, killed.is_set()


def first_line(path: Path) -> str:
    try:
        text = path.read_text(errors="replace").strip()
    except OSError:
        return ""
    return text.splitlines()[0][:160] if text else ""


def jpeg_size(data: bytes) -> tuple[int, int] | None:
    """Width and height from the first SOF marker, or None if not a JPEG."""
    if len(data) < 4 or data[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        if marker == 0xFF:  # fill byte before a marker
            i += 1
            continue
        if marker == 0x01 or 0xD0 <= marker <= 0xD7:  # markers without a length
            i += 2
            continue
        length = int.from_bytes(data[i + 2:i + 4], "big")
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            if i + 9 > len(data):
                return None
            height = int.from_bytes(data[i + 5:i + 7], "big")
            width = int.from_bytes(data[i + 7:i + 9], "big")
            return width, height
        if marker == 0xDA:  # scan data starts before any SOF: malformed
            return None
        i += 2 + length
    return None


def b64(path: Path) -> str:
    return base64.b64encode(os.fsencode(path)).decode()


def fmt_p(p: float) -> str:
    return format(p, "g")


class Bench:
    def __init__(self, args: argparse.Namespace, timeout: float):
        self.args = args
        self.timeout = timeout
        self.samples: list[Sample] = []
        self.tmp = WORK / "tmp"
        self.tmp.mkdir(parents=True, exist_ok=True)

    # Commands --------------------------------------------------------

    def info_argv(self, tool: str, path: Path) -> list[str]:
        return {
            "korvel": [str(KORVEL), "info", b64(path)],
            "ffprobe": ["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                        str(path)],
            "mediainfo": ["mediainfo", "--Inform=General;%Duration%", str(path)],
            "floor": [str(FLOOR_BIN)],
        }[tool]

    def frame_argv(self, tool: str, path: Path, p: float, s: int, duration: float | None,
                   out: Path) -> list[str]:
        if tool == "korvel":
            return [str(KORVEL), "frame", b64(path), fmt_p(p), str(s)]
        if tool == "ffmpegthumbnailer":
            return ["ffmpegthumbnailer", "-i", str(path), "-o", str(out), "-s", str(s),
                    "-t", f"{round(p * 100)}%"]
        seek = p * duration if duration else 0.0
        return ["ffmpeg", "-v", "error", "-y", "-ss", f"{seek:.3f}", "-i", str(path), "-frames:v", "1",
                "-vf", f"scale={s}:{s}:force_original_aspect_ratio=decrease", str(out)]

    # Checks ----------------------------------------------------------

    def judge_info(self, tool: str, status, timed_out, out: Path, err: Path) -> tuple[str, str]:
        if timed_out or (tool == "korvel" and status == 2):
            return "timeout", ""
        if status != 0:
            return "fail", first_line(err)
        text = out.read_text(errors="replace").strip()
        try:
            if tool == "korvel":
                return "ok", str(json.loads(text)["duration_ms"])
            if tool == "ffprobe":
                return "ok", str(round(float(text.splitlines()[0]) * 1000))
            if tool == "mediainfo":
                return "ok", str(round(float(text)))
        except (ValueError, KeyError, IndexError, TypeError):
            # Ran fine but had no duration to tell: a failure for this purpose.
            return "fail", f"no duration: {text[:60]!r}"
        return "ok", ""

    def judge_frame(self, tool: str, status, timed_out, out: Path, err: Path) -> tuple[str, str]:
        if timed_out or (tool == "korvel" and status == 2):
            return "timeout", ""
        if status != 0:
            return "fail", first_line(err)
        try:
            size = jpeg_size(out.read_bytes())
        except OSError:
            size = None
        if size is None:
            return "bad-output", "no JPEG written"
        return "ok", f"{size[0]}x{size[1]}"

    # Loops -----------------------------------------------------------

    def interleave(self, kind: str, path: Path, label: str, tools: list[str], p=None, s=None,
                   duration=None) -> None:
        """Warm-up rounds then measured rounds, tools rotated every round."""
        rounds = self.args.warmup + self.args.runs
        gave_up: set[str] = set()
        for rnd in range(rounds):
            shift = rnd % len(tools)
            for tool in tools[shift:] + tools[:shift]:
                if tool in gave_up:
                    continue
                out = self.tmp / f"{tool}.{'jpg' if kind == 'frame' else 'txt'}"
                err = self.tmp / f"{tool}.err"
                out.unlink(missing_ok=True)
                if kind == "info":
                    argv = self.info_argv(tool, path)
                else:
                    argv = self.frame_argv(tool, path, p, s, duration, out)
                # Tools writing to stdout get it redirected to the output file;
                # the others write their own file and stdout goes to a side file.
                stdout_path = out if tool in ("korvel", "ffprobe", "mediainfo", "floor") else self.tmp / "stdout"
                wall, rss, status, timed_out = run_timed(argv, stdout_path, err, self.timeout)
                if tool == "floor":
                    outcome, detail = ("ok" if status == 0 else "fail"), ""
                elif kind == "info":
                    outcome, detail = self.judge_info(tool, status, timed_out, out, err)
                else:
                    outcome, detail = self.judge_frame(tool, status, timed_out, out, err)
                self.samples.append(Sample(kind, label, tool, p, s, rnd, rnd < self.args.warmup,
                                           wall, rss, status, outcome, detail))
                # More runs into the same time-out would only burn time.
                if outcome == "timeout":
                    gave_up.add(tool)

    def run_info(self, files: list[tuple[str, Path]], tools: list[str]) -> None:
        for n, (label, path) in enumerate(files, 1):
            log(f"info  [{n}/{len(files)}] {label}")
            self.interleave("info", path, label, tools)

    def run_frame(self, files: list[tuple[str, Path]], positions: list[float], sizes: list[int]) -> None:
        for n, (label, path) in enumerate(files, 1):
            duration = probe_duration(path)
            log(f"frame [{n}/{len(files)}] {label}")
            for p in positions:
                for s in sizes:
                    self.interleave("frame", path, label, FRAME_TOOLS, p, s, duration)


def probe_duration(path: Path) -> float | None:
    text = command_output(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                           str(path)])
    try:
        return float(text.splitlines()[0])
    except (ValueError, IndexError):
        return None


# ----------------------------------------------------------------- summary


@dataclass
class Cell:
    """The measured (non-warm-up) runs of one tool on one case."""
    wall_ms: float | None = None
    rss_mib: float | None = None
    outcome: str = "missing"
    status: int | None = None
    detail: str = ""
    runs: int = 0
    walls: list[float] = field(default_factory=list)


def cells(samples: list[Sample]) -> dict[tuple, Cell]:
    grouped: dict[tuple, list[Sample]] = {}
    for sm in samples:
        if sm.warmup and sm.outcome != "timeout":
            continue
        grouped.setdefault((sm.kind, sm.file, sm.p, sm.s, sm.tool), []).append(sm)
    result = {}
    for key, group in grouped.items():
        outcomes = {g.outcome for g in group}
        # The worst outcome wins, so a flaky failure is not hidden by a median.
        outcome = next(o for o in ("timeout", "fail", "bad-output", "ok") if o in outcomes)
        chosen = next(g for g in reversed(group) if g.outcome == outcome)
        walls = [g.wall_s * 1000 for g in group]
        result[key] = Cell(statistics.median(walls), statistics.median(g.rss_kb for g in group) / 1024,
                           outcome, chosen.status, chosen.detail, len(group), walls)
    return result


def ratio(a: Cell | None, b: Cell | None) -> float | None:
    if not a or not b or a.outcome != "ok" or b.outcome != "ok" or not b.wall_ms:
        return None
    return a.wall_ms / b.wall_ms


def fmt_ms(c: Cell | None) -> str:
    if c is None:
        return "-"
    if c.outcome == "ok":
        return f"{c.wall_ms:.1f}"
    label = "timeout" if c.outcome == "timeout" else c.outcome
    return f"{label} ({c.wall_ms:.0f})"


def fmt_ratio(r: float | None, a: Cell | None = None) -> str:
    if r is not None:
        return f"{r:.2f}"
    if a is not None and a.outcome != "ok":
        return a.outcome
    return "-"


def fmt_mib(c: Cell | None) -> str:
    return f"{c.rss_mib:.1f}" if c and c.rss_mib is not None else "-"


def med(values: list[float]) -> str:
    return f"{statistics.median(values):.2f}" if values else "-"


def geomean(values: list[float]) -> str:
    if not values:
        return "-"
    return f"{statistics.geometric_mean(values):.2f}"


def table(header: list[str], rows: list[list[str]]) -> list[str]:
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join(["---"] * len(header)) + "|"]
    lines += ["| " + " | ".join(r) + " |" for r in rows]
    return lines


def info_section(cs: dict, files: list[tuple[str, Path]], tools: list[str], sets: dict[str, str]) -> list[str]:
    lines: list[str] = []
    peers = [t for t in tools if t not in ("korvel", "floor")]
    per_set: dict[str, dict[str, list[float]]] = {}
    diffs: list[float] = []
    floors: list[float] = []
    rows = []
    for label, _ in files:
        k = cs.get(("info", label, None, None, "korvel"))
        fl = cs.get(("info", label, None, None, "floor"))
        row = [f"`{label}`", fmt_ms(k)]
        for peer in peers:
            pc = cs.get(("info", label, None, None, peer))
            r = ratio(k, pc)
            if r is not None:
                per_set.setdefault(sets[label], {}).setdefault(peer, []).append(r)
                per_set.setdefault("all", {}).setdefault(peer, []).append(r)
            row += [fmt_ms(pc), fmt_ratio(r, k)]
        row.append(fmt_ms(fl))
        if fl and fl.outcome == "ok":
            floors.append(fl.wall_ms)
        if k and fl and k.outcome == "ok":
            diffs.append(k.wall_ms - fl.wall_ms)
            row.append(f"{k.wall_ms - fl.wall_ms:.1f}")
        else:
            row.append("-")
        row.append(" / ".join(fmt_mib(cs.get(("info", label, None, None, t))) for t in ["korvel", *peers]))
        row.append(" / ".join((c.detail if c and c.outcome == "ok" else (c.outcome if c else "-"))
                              for c in (cs.get(("info", label, None, None, t)) for t in ["korvel", *peers])))
        rows.append(row)

    lines.append("Ratios are korvel's median wall time over the peer's (below 1 = korvel faster), "
                 "taken per file where both succeeded; the summary gives the median and geometric "
                 "mean of those per-file ratios.")
    lines.append("")
    head = ["files"] + [f"korvel/{p} median" for p in peers] + [f"korvel/{p} geomean" for p in peers] + ["n"]
    srows = []
    for set_name in ("shared", "generated", "extra", "all"):
        # "all" only adds something when more than one set was measured.
        if set_name not in per_set or (set_name == "all" and len(per_set) == 2):
            continue
        vals = per_set[set_name]
        srows.append([set_name] + [med(vals.get(p, [])) for p in peers]
                     + [geomean(vals.get(p, [])) for p in peers]
                     + [str(len(vals.get(peers[0], [])))])
    lines += table(head, srows)
    lines.append("")
    if floors:
        text = f"Library-loading floor (bench/floor): median {statistics.median(floors):.1f} ms"
        if diffs:
            text += (f"; korvel info minus floor: median {statistics.median(diffs):.1f} ms over the "
                     f"{len(diffs)} files korvel read")
        lines += [text + ".", ""]
    head = ["file", "korvel ms"]
    for p in peers:
        head += [f"{p} ms", f"k/{p}"]
    head += ["floor ms", "korvel - floor ms", "peak RSS MiB (" + " / ".join(["korvel", *peers]) + ")",
             "duration ms (" + " / ".join(["korvel", *peers]) + ")"]
    lines += table(head, rows)
    lines.append("")
    return lines


def frame_section(cs: dict, files: list[tuple[str, Path]], positions, sizes,
                  sets: dict[str, str]) -> list[str]:
    lines: list[str] = []
    summary_rows = []
    present = [n for n in ("generated", "shared", "extra") if n in sets.values()]
    for set_name in present:
        for p in positions:
            for s in sizes:
                rt, rf, counts = [], [], {}
                rss: dict[str, list[float]] = {t: [] for t in FRAME_TOOLS}
                for label, _ in files:
                    if sets[label] != set_name:
                        continue
                    k, t, f = (cs.get(("frame", label, p, s, tool)) for tool in FRAME_TOOLS)
                    if k:
                        counts[k.outcome] = counts.get(k.outcome, 0) + 1
                    if (r := ratio(k, t)) is not None:
                        rt.append(r)
                    if (r := ratio(k, f)) is not None:
                        rf.append(r)
                    for tool, c in zip(FRAME_TOOLS, (k, t, f)):
                        if c and c.outcome == "ok":
                            rss[tool].append(c.rss_mib)
                summary_rows.append([set_name, fmt_p(p), str(s), med(rt), geomean(rt), med(rf), geomean(rf),
                                     " / ".join(f"{statistics.median(v):.0f}" if v else "-" for v in rss.values()),
                                     ", ".join(f"{n} {o}" for o, n in sorted(counts.items()))])
    lines.append("Per file set and (p, s): median and geometric mean over files of korvel's median wall "
                 "time divided by the peer's, only where both produced a JPEG; median peak RSS over the "
                 "files each tool succeeded on.")
    lines.append("")
    lines += table(["files", "p", "s", "k/thumbnailer median", "k/thumbnailer geomean", "k/ffmpeg median",
                    "k/ffmpeg geomean", "peak RSS MiB (k / thumb / ffmpeg)", "korvel outcomes"], summary_rows)
    lines.append("")
    for label, _ in files:
        rows = []
        for p in positions:
            for s in sizes:
                k = cs.get(("frame", label, p, s, "korvel"))
                t = cs.get(("frame", label, p, s, "ffmpegthumbnailer"))
                f = cs.get(("frame", label, p, s, "ffmpeg"))
                rows.append([fmt_p(p), str(s), fmt_ms(k), fmt_ms(t), fmt_ms(f),
                             fmt_ratio(ratio(k, t), k), fmt_ratio(ratio(k, f), k),
                             " / ".join(fmt_mib(c) for c in (k, t, f)),
                             " / ".join((c.detail if c and c.outcome == "ok" else (c.outcome if c else "-"))
                                        for c in (k, t, f))])
        lines.append(f"#### `{label}`")
        lines.append("")
        lines += table(["p", "s", "korvel ms", "thumbnailer ms", "ffmpeg ms", "k/thumb", "k/ffmpeg",
                        "peak RSS MiB (k / thumb / ffmpeg)", "picture (k / thumb / ffmpeg)"], rows)
        lines.append("")
    failures = sorted({(c.detail or c.outcome) for key, c in cs.items()
                       if key[0] == "frame" and key[4] == "korvel" and c.outcome != "ok"})
    if failures:
        lines.append("korvel frame failure messages seen: " + "; ".join(f"`{m}`" for m in failures))
        lines.append("")
    return lines


# -------------------------------------------------------------- environment


def machine_info() -> dict:
    cpu = "unknown"
    mem = "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal"):
                mem = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
                break
    except OSError:
        pass
    debian = Path("/etc/debian_version").read_text().strip() if Path("/etc/debian_version").exists() else "?"
    return {"nproc": os.cpu_count(), "cpu": cpu, "memory": mem, "kernel": platform.release(),
            "debian": debian, "python": platform.python_version()}


def versions() -> dict:
    commit = command_output(["git", "rev-parse", "--short", "HEAD"], REPO) or "unknown"
    dirty = command_output(["git", "status", "--porcelain", "--", "src", "CMakeLists.txt"], REPO)
    mediainfo = command_output(["mediainfo", "--Version"]).splitlines()
    libs = {lib: command_output(["pkg-config", "--modversion", lib]) for lib in FLOOR_LIBS}
    return {
        "korvel": commit + (" (with uncommitted changes in src/)" if dirty else ""),
        "ffmpeg": (command_output(["ffmpeg", "-version"]).splitlines() or ["?"])[0],
        "ffmpegthumbnailer": command_output(["ffmpegthumbnailer", "-v"]).split(":")[-1].strip() or "?",
        "mediainfo": mediainfo[-1] if mediainfo else "?",
        "libraries": ", ".join(f"{k} {v}" for k, v in libs.items()),
    }


def loadavg() -> str:
    try:
        return " ".join(Path("/proc/loadavg").read_text().split()[:3])
    except OSError:
        return "?"


# -------------------------------------------------------------------- main


def parse_args() -> argparse.Namespace:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true",
                    help="only korvel info vs ffprobe over the shared media; prints the median ratio")
    ap.add_argument("--quick-frame", action="store_true",
                    help="short frame comparison: p=0.5, s=256, 2 runs, all media")
    ap.add_argument("--only", choices=["info", "frame"], help="run one command's comparison only")
    ap.add_argument("--sets", default=None,
                    help="comma list of generated,shared; '' for neither (default both; quick: shared)")
    ap.add_argument("--media", action="append", default=[], help="extra folder of media (repeatable)")
    ap.add_argument("--shared", default=os.environ.get("KORVEL_BENCH_MEDIA"),
                    help="shared media folder (default /work/shared/media or ../shared/media)")
    ap.add_argument("--runs", type=int, default=None,
                    help="measured runs per case, after the warm-up (default 6; quick 5; quick-frame 2)")
    ap.add_argument("--warmup", type=int, default=1, help="discarded warm-up runs per case")
    ap.add_argument("--positions", default="0,0.1,0.5,0.9")
    ap.add_argument("--sizes", default="256,1024")
    ap.add_argument("--timeout", type=float, default=60.0, help="seconds before a run is killed")
    ap.add_argument("--report", default=None, help="markdown output (default: BENCHMARKS.md for a full "
                                                    "run, otherwise bench/results/MODE.md)")
    ap.add_argument("--no-build", action="store_true", help="use the existing build-bench/korvel")
    ap.add_argument("--render", metavar="RAW_JSON", help="only rewrite the report from a raw results file")
    args = ap.parse_args()
    if args.quick and args.quick_frame:
        ap.error("--quick and --quick-frame are separate modes")
    if args.quick_frame:
        args.only = "frame"
        args.positions, args.sizes = "0.5", "256"
    if args.runs is None:
        args.runs = 5 if args.quick else (2 if args.quick_frame else 6)
    if args.runs < 1:
        ap.error("--runs must be at least 1")
    if args.sets is None:
        args.sets = "shared" if args.quick else "generated,shared"
    unknown = set(filter(None, args.sets.split(","))) - {"generated", "shared"}
    if unknown:
        ap.error(f"unknown --sets entries: {', '.join(sorted(unknown))} (use generated, shared or '')")
    return args


def main() -> int:
    args = parse_args()
    if args.render:
        return render_only(Path(args.render), args.report)
    started = time.time()
    RESULTS.mkdir(parents=True, exist_ok=True)
    build_state = build_korvel(args.no_build)
    floor_libs = build_floor()

    wanted_sets = set(args.sets.split(","))
    files: list[tuple[str, Path]] = []
    sets: dict[str, str] = {}
    if "generated" in wanted_sets:
        for path in make_media():
            label = "gen/" + path.name
            files.append((label, path))
            sets[label] = "generated"
    shared = shared_media_dir(args.shared)
    if "shared" in wanted_sets:
        if shared is None:
            log("no shared media folder found; skipping it")
        else:
            for path in media_files(shared):
                label = str(path.relative_to(shared))
                files.append((label, path))
                sets[label] = "shared"
    for extra in args.media:
        root = Path(extra).resolve()
        for path in media_files(root):
            label = f"{root.name}/{path.relative_to(root)}"
            files.append((label, path))
            sets[label] = "extra"
    if not files:
        sys.exit("no media files to measure")

    bench = Bench(args, args.timeout)
    load_before = loadavg()
    info_tools = INFO_TOOLS_QUICK if args.quick else INFO_TOOLS_FULL
    positions = [float(x) for x in args.positions.split(",")]
    sizes = [int(x) for x in args.sizes.split(",")]
    do_info = args.quick or args.only in (None, "info")
    do_frame = not args.quick and args.only in (None, "frame")
    if do_info:
        bench.run_info(files, info_tools)
    if do_frame:
        bench.run_frame(files, positions, sizes)
    load_after = loadavg()
    elapsed = time.time() - started

    mode = ("quick-info" if args.quick else "quick-frame" if args.quick_frame
            else "full" if args.only is None else args.only)
    stamp = dt.datetime.now(dt.timezone.utc).strftime("%Y%m%dT%H%M%SZ")
    meta = {"mode": mode, "utc": stamp, "machine": machine_info(), "versions": versions(),
            "build": build_state, "runs": args.runs, "warmup": args.warmup, "timeout_s": args.timeout,
            "positions": positions, "sizes": sizes, "loadavg_before": load_before,
            "loadavg_after": load_after, "elapsed_s": round(elapsed, 1),
            "shared_media": str(shared) if shared else None, "floor_libs": floor_libs,
            "info_tools": info_tools if do_info else [], "frame": do_frame,
            "files": [[label, sets[label]] for label, _ in files]}
    raw = RESULTS / f"{stamp}-{mode}"
    raw.with_suffix(".json").write_text(json.dumps({"meta": meta, "samples": [asdict(s) for s in bench.samples]},
                                                   indent=1))
    with raw.with_suffix(".csv").open("w", newline="") as fh:
        writer = csv.DictWriter(fh, fieldnames=list(asdict(bench.samples[0]).keys()))
        writer.writeheader()
        writer.writerows(asdict(s) for s in bench.samples)
    write_report(meta, bench.samples, raw.with_suffix(".json"), args.report)
    return 0


def write_report(meta: dict, samples: list[Sample], raw_json: Path, report_arg: str | None) -> None:
    files = [(label, None) for label, _ in meta["files"]]
    sets = {label: set_name for label, set_name in meta["files"]}
    cs = cells(samples)
    # Only a full run may replace the committed BENCHMARKS.md by default.
    report = Path(report_arg) if report_arg else (
        REPO / "BENCHMARKS.md" if meta["mode"] == "full" else RESULTS / f"{meta['mode']}.md")
    lines = header_lines(meta, raw_json)
    if meta["info_tools"]:
        lines += ["## korvel info", ""] + info_section(cs, files, meta["info_tools"], sets)
        if meta.get("floor_libs"):
            lines += ["The floor program links " + ", ".join(meta["floor_libs"]) + " (korvel's own list, "
                      "read from its binary, besides the C++ runtime).", ""]
    if meta["frame"]:
        lines += ["## korvel frame", "",
                  "Peers: `ffmpegthumbnailer -i F -o OUT.jpg -s S -t P%` and "
                  "`ffmpeg -v error -y -ss T -i F -frames:v 1 -vf scale=S:S:force_original_aspect_ratio=decrease "
                  "OUT.jpg` (T = p x duration from ffprobe; exact seek). korvel writes its JPEG to stdout, "
                  "redirected to a file.", ""]
        lines += frame_section(cs, files, meta["positions"], meta["sizes"], sets)
    report.write_text("\n".join(lines).rstrip() + "\n")
    if meta["info_tools"]:
        print_info_headline(cs, files, sets)
    log(f"report: {report}\nraw:    {raw_json} (and .csv)\nmeasuring took {meta['elapsed_s']:.0f} s")


def render_only(raw_json: Path, report_arg: str | None) -> int:
    """Rewrite a report from a raw results file, e.g. after a layout change."""
    data = json.loads(raw_json.read_text())
    samples = [Sample(**sm) for sm in data["samples"]]
    write_report(data["meta"], samples, raw_json.resolve(), report_arg)
    return 0


def header_lines(meta: dict, raw_json: Path) -> list[str]:
    m, v = meta["machine"], meta["versions"]
    return [
        "# korvel benchmarks" + ("" if meta["mode"] == "full" else f" ({meta['mode']})"),
        "",
        f"Made by `bench/run.sh` ({meta['mode']} mode) on {meta['utc']}; raw samples in "
        f"`{raw_json.relative_to(REPO)}` (git-ignored).",
        "",
        f"- Machine: {m['nproc']} cores, {m['cpu']}, {m['memory']} RAM; Linux {m['kernel']}, "
        f"Debian {m['debian']}; load average {meta['loadavg_before']} before, {meta['loadavg_after']} after",
        f"- korvel: commit {v['korvel']}, Release build in build-bench/ ({meta['build']})",
        f"- {v['ffmpeg']}; ffmpegthumbnailer {v['ffmpegthumbnailer']}; {v['mediainfo']}",
        f"- Libraries: {v['libraries']}",
        f"- Method: per case {meta['warmup']} warm-up + {meta['runs']} measured runs of each command, "
        "interleaved round-robin (the start tool rotates every round); median wall time from fork to "
        "reap, peak RSS from getrusage of the child (median over runs); runs killed after "
        f"{meta['timeout_s']:.0f} s. Outcomes: `fail` = non-zero exit, `timeout`, `bad-output` = exit 0 "
        "without a readable result; the time in brackets is still the median.",
        f"- Wall time of this run: {meta['elapsed_s']:.0f} s",
        "",
    ]


def print_info_headline(cs: dict, files: list[tuple[str, Path]], sets: dict[str, str]) -> None:
    for set_name in ("shared", "generated"):
        ok, every = [], []
        for label, _ in files:
            if sets[label] != set_name:
                continue
            k = cs.get(("info", label, None, None, "korvel"))
            f = cs.get(("info", label, None, None, "ffprobe"))
            if k and f and k.outcome != "timeout" and f.outcome != "timeout":
                every.append(k.wall_ms / f.wall_ms)
            if (r := ratio(k, f)) is not None:
                ok.append(r)
        if every:
            print(f"korvel info / ffprobe over {set_name} media: median ratio {med(ok)} over {len(ok)} files "
                  f"korvel read (geomean {geomean(ok)}); {med(every)} over all {len(every)} files "
                  "including korvel's rejections")


if __name__ == "__main__":
    sys.exit(main())
