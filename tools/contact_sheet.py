#!/usr/bin/env python3
"""Render one korvel thumbnail per media file into a single HTML page.

Looks through the shared sample media (/work/shared/media or ../shared/media
next to the repo, unless --no-shared) and every folder named on the command
line, runs `korvel frame` on each file and writes one self-contained page
(pictures inlined as data: URIs) so a person can eyeball orientation, colour,
proportions and failures at a glance.

    tools/contact_sheet.py [FOLDER ...] [-p 0.5] [-s 256] [-o contact_sheet.html] [--png]
"""

from __future__ import annotations

import argparse
import base64
import concurrent.futures
import datetime as dt
import html
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
# Not media: the licence and index files that sit beside the samples.
SKIP_NAMES = {"MANIFEST.tsv", "LICENSE", "NOTICE"}


@dataclass
class Cell:
    root: str
    name: str
    outcome: str          # "exit 0", "failed", "timed out", ...
    ok: bool
    seconds: float
    message: str = ""
    jpeg: bytes = b""
    size: tuple[int, int] | None = None
    duration_ms: int | None = None


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
        # C4 (DHT), C8 (JPG) and CC (DAC) share the range but are not frames.
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            if i + 9 > len(data):
                return None
            height = int.from_bytes(data[i + 5:i + 7], "big")
            width = int.from_bytes(data[i + 7:i + 9], "big")
            return width, height
        if marker == 0xDA:  # entropy-coded data before any frame header
            return None
        i += 2 + length
    return None


def find_korvel(explicit: str | None) -> Path:
    candidates = [explicit, os.environ.get("KORVEL"), REPO / "build-bench" / "korvel", REPO / "build" / "korvel",
                  shutil.which("korvel")]
    for candidate in candidates:
        if candidate and Path(candidate).is_file() and os.access(candidate, os.X_OK):
            return Path(candidate).resolve()
    sys.exit("no korvel binary found: build it (tools/contact_sheet.sh does) or pass --korvel PATH")


def default_shared() -> Path | None:
    for candidate in (Path("/work/shared/media"), REPO.parent / "shared" / "media"):
        if candidate.is_dir():
            return candidate
    return None


def media_files(folder: Path) -> list[Path]:
    return sorted(p for p in folder.rglob("*")
                  if p.is_file() and p.name not in SKIP_NAMES and not p.name.startswith("."))


def b64(path: Path) -> str:
    return base64.b64encode(os.fsencode(path)).decode()


def run_korvel(argv: list[str], timeout: float) -> tuple[int | None, bytes, str, float]:
    """(exit status or None on our time-out, stdout, first stderr line, seconds)."""
    started = time.perf_counter()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            proc = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                                  check=False)
            status: int | None = proc.returncode
        except subprocess.TimeoutExpired:
            status = None
        seconds = time.perf_counter() - started
        out.seek(0)
        err.seek(0)
        lines = err.read().decode(errors="replace").strip().splitlines()
        return status, out.read(), (lines[0][:300] if lines else ""), seconds


def describe(status: int | None) -> tuple[str, bool]:
    if status is None:
        return "timed out (killed)", False
    if status == 0:
        return "exit 0", True
    if status == 1:
        return "failed (exit 1)", False
    if status == 2:
        return "timed out (exit 2)", False
    if status < 0:
        return f"killed by signal {-status}", False
    return f"exit {status}", False


def render_one(korvel: Path, root: Path, path: Path, p: str, s: int, timeout: float, with_info: bool) -> Cell:
    name = str(path.relative_to(root))
    status, data, message, seconds = run_korvel([str(korvel), "frame", b64(path), p, str(s)], timeout)
    outcome, ok = describe(status)
    cell = Cell(str(root), name, outcome, ok, seconds, message)
    if ok:
        cell.size = jpeg_size(data)
        if cell.size is None:
            cell.ok, cell.outcome = False, "exit 0 but no JPEG"
        else:
            cell.jpeg = data
    if with_info:
        info_status, info_out, _, _ = run_korvel([str(korvel), "info", b64(path)], timeout)
        if info_status == 0:
            try:
                cell.duration_ms = int(json.loads(info_out)["duration_ms"])
            except (ValueError, KeyError, TypeError):
                pass
    return cell


PAGE_STYLE = """
body { font: 13px/1.35 system-ui, sans-serif; margin: 16px; background: #f4f4f4; color: #222; }
h1 { font-size: 18px; margin: 0 0 4px; }
.meta { color: #555; margin-bottom: 12px; }
h2 { font-size: 15px; margin: 18px 0 8px; }
.grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(var(--cell), 1fr)); gap: 10px; }
.cell { background: #fff; border: 1px solid #ccc; border-radius: 4px; padding: 6px; overflow-wrap: anywhere; }
.cell.bad { border-color: #c33; background: #fff4f4; }
.pic { height: var(--pic); display: flex; align-items: center; justify-content: center;
       background: repeating-conic-gradient(#ddd 0 25%, #fff 0 50%) 0 0 / 16px 16px; }
.pic img { max-width: 100%; max-height: 100%; }
.pic .none { color: #c33; font-weight: 600; }
.name { font-weight: 600; margin-top: 4px; }
.ok { color: #161; } .err { color: #b22; }
.msg { color: #b22; font-family: monospace; font-size: 11px; }
"""


def render_page(cells: list[Cell], p: str, s: int, korvel: Path, roots: list[Path]) -> str:
    cell_px = max(s, 160) + 14
    failed = sum(1 for c in cells if not c.ok)
    parts = [
        "<!doctype html>",
        "<html lang='en'><head><meta charset='utf-8'>",
        "<title>korvel contact sheet</title>",
        f"<style>:root {{ --cell: {cell_px}px; --pic: {s}px; }}{PAGE_STYLE}</style>",
        "</head><body>",
        "<h1>korvel contact sheet</h1>",
        f"<div class='meta'>korvel frame at p={html.escape(p)}, s={s} &middot; {len(cells)} files, "
        f"{failed} without a picture &middot; {html.escape(str(korvel))} &middot; "
        f"{dt.datetime.now().strftime('%Y-%m-%d %H:%M')}</div>",
    ]
    for root in roots:
        group = [c for c in cells if c.root == str(root)]
        parts.append(f"<h2>{html.escape(str(root))} ({len(group)})</h2><div class='grid'>")
        for c in group:
            if c.jpeg:
                src = "data:image/jpeg;base64," + base64.b64encode(c.jpeg).decode()
                pic = f"<img src='{src}' alt='{html.escape(c.name)}'>"
            else:
                pic = "<span class='none'>no picture</span>"
            size = f"{c.size[0]} x {c.size[1]}" if c.size else "&ndash;"
            duration = f" &middot; {c.duration_ms / 1000:.3f} s long" if c.duration_ms is not None else ""
            lines = [
                f"<div class='pic'>{pic}</div>",
                f"<div class='name'>{html.escape(c.name)}</div>",
                f"<div>{size}{duration}</div>",
                f"<div class='{'ok' if c.ok else 'err'}'>{html.escape(c.outcome)} in {c.seconds * 1000:.0f} ms</div>",
            ]
            if c.message:
                lines.append(f"<div class='msg'>{html.escape(c.message)}</div>")
            parts.append(f"<div class='cell{'' if c.ok else ' bad'}'>" + "".join(lines) + "</div>")
        parts.append("</div>")
    parts.append("</body></html>")
    return "\n".join(parts) + "\n"


def screenshot(page: Path, png: Path, width: int, height: int) -> None:
    browser = next((b for b in ("chromium", "chromium-browser", "google-chrome") if shutil.which(b)), None)
    if browser is None:
        print("no chromium found; skipping the PNG (apt-get install chromium)", file=sys.stderr)
        return
    argv = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
            f"--window-size={width},{height}", f"--screenshot={png.resolve()}", page.resolve().as_uri()]
    done = subprocess.run(argv, capture_output=True, text=True, timeout=120, check=False)
    if done.returncode != 0 or not png.exists():
        print(f"chromium screenshot failed: {done.stderr.strip()[-300:]}", file=sys.stderr)
    else:
        print(f"png:  {png}", file=sys.stderr)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("folders", nargs="*", help="more folders of media, searched recursively")
    ap.add_argument("-p", "--position", default="0.5", help="fraction of the duration (default 0.5)")
    ap.add_argument("-s", "--size", type=int, default=256, help="square to fit into, 64..1024 (default 256)")
    ap.add_argument("-o", "--output", default="contact_sheet.html", help="HTML file (default ./contact_sheet.html)")
    ap.add_argument("--no-shared", action="store_true", help="leave out the shared sample media")
    ap.add_argument("--korvel", help="korvel binary (default build-bench/korvel, build/korvel, $KORVEL, PATH)")
    ap.add_argument("--timeout", type=float, default=60.0, help="seconds before a run is killed (default 60)")
    ap.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 2, help="files rendered at once")
    ap.add_argument("--no-info", action="store_true", help="skip `korvel info` (the duration line)")
    ap.add_argument("--png", nargs="?", const="", default=None,
                    help="also screenshot the page with headless chromium (default: OUTPUT with .png)")
    args = ap.parse_args()

    korvel = find_korvel(args.korvel)
    roots: list[Path] = []
    if not args.no_shared:
        shared = default_shared()
        if shared is None:
            print("no shared media folder found; only the folders given are used", file=sys.stderr)
        else:
            roots.append(shared)
    for folder in args.folders:
        path = Path(folder).resolve()
        if not path.is_dir():
            sys.exit(f"not a folder: {folder}")
        roots.append(path)
    if not roots:
        sys.exit("nothing to render: no shared media and no folder given")

    jobs = [(root, path) for root in roots for path in media_files(root)]
    started = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        cells = list(pool.map(lambda job: render_one(korvel, job[0], job[1], args.position, args.size,
                                                     args.timeout, not args.no_info), jobs))

    out = Path(args.output)
    out.write_text(render_page(cells, args.position, args.size, korvel, roots))
    failed = [c for c in cells if not c.ok]
    print(f"html: {out} ({len(cells)} files, {len(failed)} without a picture, "
          f"{time.perf_counter() - started:.1f} s)", file=sys.stderr)
    for c in failed:
        print(f"  {c.root}/{c.name}: {c.outcome} {c.message}", file=sys.stderr)
    if args.png is not None:
        png = Path(args.png) if args.png else out.with_suffix(".png")
        columns = max(1, 1600 // (max(args.size, 160) + 24))
        rows = sum(-(-sum(1 for c in cells if c.root == str(r)) // columns) for r in roots)
        screenshot(out, png, 1600, 120 + rows * (args.size + 110) + 60 * len(roots))
    return 0


if __name__ == "__main__":
    sys.exit(main())
