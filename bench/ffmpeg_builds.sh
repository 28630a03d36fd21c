#!/usr/bin/env bash
# korvel on its bundled FFmpeg against korvel on the system's FFmpeg, side by side in one run
# with hyperfine: shared objects loaded, the loading floor, `info` against ffprobe and
# mediainfo, `frame` at p = 0 against ffmpegthumbnailer and exact-seek ffmpeg.
#   bench/ffmpeg_builds.sh [runs]        (default 10; ~10 min on 2 cores)
# Media: ../shared/media and the long-GOP fixtures. Builds build/ (bundled) and
# build-system/ when missing; report in bench/results/ffmpeg-builds.md.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/media.sh
runs=${1:-10}
for tool in hyperfine ffprobe mediainfo ffmpegthumbnailer; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install $tool)" >&2; exit 1; }
done
[ -x build/korvel ] || scripts/build.sh
if [ ! -x build-system/korvel ]; then
  cmake -S . -B build-system -DKORVEL_FFMPEG=system -DKORVEL_BUILD_TESTS=OFF >/dev/null
  cmake --build build-system -j"$(nproc)" --target korvel
fi
out=bench/results/ffmpeg-builds
rm -rf "$out"
mkdir -p "$out"

# The loading floor on each FFmpeg: links what korvel links and returns; every shared library
# stays needed, as in korvel, though the floor calls into few of them.
prefix=$(scripts/build-ffmpeg.sh build-ffmpeg)
floor() { # name, then pkg-config options
  local name=$1
  shift
  # shellcheck disable=SC2046
  c++ -O2 bench/floor/floor.cpp -o "$out/$name" -Wl,--no-as-needed $(pkg-config "$@" --cflags \
    --libs libavformat libavcodec libswscale libavutil libturbojpeg) -lzimg
}
PKG_CONFIG_PATH=$prefix/lib/pkgconfig floor floor-bundled --static
floor floor-system

sample=tests/fixtures/info_1500ms.mp4
path=$(path_arg "$sample")
loaded() { LD_DEBUG=files "$@" 2>&1 >/dev/null | grep -c 'calling init:' || true; }
{
  echo "# korvel on the bundled and on the system FFmpeg"
  echo
  echo "$(date -u +%FT%TZ), $(nproc) cores, load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "FFmpeg built in: $(strings build/korvel | grep -m1 '^FFmpeg version')"
  echo
  echo "| | bundled | system |"
  echo "| --- | --- | --- |"
  echo "| shared objects loaded by \`korvel info\` | $(loaded build/korvel info "$path") |" \
    "$(loaded build-system/korvel info "$path") |"
  echo "| shared objects loaded by the floor | $(loaded "$out/floor-bundled") |" \
    "$(loaded "$out/floor-system") |"
} >"$out/report.md"

hyperfine -N -w 3 -r "$runs" --export-json "$out/floor.json" -n bundled "$out/floor-bundled" \
  -n system "$out/floor-system" >/dev/null

media=()
while IFS= read -r file; do media+=("$file"); done < <(
  { [ -d ../shared/media ] && media_files ../shared/media; ls tests/fixtures/long_gop_h264*.mp4; } |
    LC_ALL=C sort)
i=0
for file in "${media[@]}"; do
  p=$(path_arg "$file")
  build/korvel info "$p" >/dev/null 2>&1 || continue
  i=$((i + 1))
  echo "$file" >"$out/file-$i"
  hyperfine -N -w 2 -r "$runs" -i --export-json "$out/info-$i.json" \
    -n bundled "build/korvel info $p" -n system "build-system/korvel info $p" \
    -n ffprobe "ffprobe -v error -show_entries format=duration -of csv=p=0 $file" \
    -n mediainfo "mediainfo --Inform=General;%Duration% $file" >/dev/null
  build/korvel frame "$p" 0 256 >/dev/null 2>&1 || continue
  hyperfine -N -w 1 -r "$runs" -i --export-json "$out/frame-$i.json" \
    -n bundled "build/korvel frame $p 0 256" -n system "build-system/korvel frame $p 0 256" \
    -n ffmpegthumbnailer "ffmpegthumbnailer -i $file -o $out/thumb.jpg -s 256 -t 0%" \
    -n ffmpeg "ffmpeg -v error -y -ss 0 -i $file -frames:v 1 -vf scale=256:256:force_original_aspect_ratio=decrease $out/ffmpeg.jpg" \
    >/dev/null
done

/usr/bin/python3 - "$out" >>"$out/report.md" <<'EOF'
import json, pathlib, statistics, sys

out = pathlib.Path(sys.argv[1])
def medians(path):
    return {r["command"]: r["median"] * 1000 for r in json.loads(path.read_text())["results"]}

floor = medians(out / "floor.json")
print(f"| loading floor, median ms | {floor['bundled']:.1f} | {floor['system']:.1f} |")
print()
for kind, peers in (("info", ("ffprobe", "mediainfo")), ("frame", ("ffmpegthumbnailer", "ffmpeg"))):
    rows = []
    for path in sorted(out.glob(f"{kind}-*.json"), key=lambda p: int(p.stem.split("-")[1])):
        m = medians(path)
        name = (out / f"file-{path.stem.split('-')[1]}").read_text().strip()
        rows.append((name, m))
    if not rows:
        continue
    title = "`frame` at p = 0, size 256" if kind == "frame" else "`info`"
    print(f"## {title}: median ms per file, and ratios")
    print()
    print(f"| file | bundled | system | {peers[0]} | {peers[1]} | bundled/system | "
          f"bundled/{peers[0]} | bundled/{peers[1]} |")
    print("| --- | " + "--- | " * 7)
    ratios = {k: [] for k in ("system", *peers)}
    for name, m in rows:
        for k in ratios:
            ratios[k].append(m["bundled"] / m[k])
        print(f"| {name} | {m['bundled']:.1f} | {m['system']:.1f} | {m[peers[0]]:.1f} | "
              f"{m[peers[1]]:.1f} | {m['bundled'] / m['system']:.2f} | "
              f"{m['bundled'] / m[peers[0]]:.2f} | {m['bundled'] / m[peers[1]]:.2f} |")
    med = {k: statistics.median(v) for k, v in ratios.items()}
    worst = max(ratios["system"])
    print(f"| **median over {len(rows)} files** | | | | | {med['system']:.2f} "
          f"(worst {worst:.2f}) | {med[peers[0]]:.2f} | {med[peers[1]]:.2f} |")
    print()
EOF
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/report.md"
cat "$out/report.md"
