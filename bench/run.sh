#!/usr/bin/env bash
# Benchmark korvel against ffprobe, mediainfo, ffmpegthumbnailer and ffmpeg.
#   bench/run.sh            full run, writes BENCHMARKS.md (~40 min; first run also encodes ~5 min of inputs)
#   bench/run.sh --quick    korvel info / ffprobe over the shared media only (~1 min)
#   bench/run.sh --quick-frame   frame at p=0.5, s=256, 2 runs (~2-3 min once media is cached)
#   bench/run.sh --help     all knobs (runs, positions, sizes, sets, ...)
set -euo pipefail
cd "$(dirname "$0")/.."

# The peers and the build tools; installed from Debian when missing, since
# nothing else in the project pulls them in.
need=()
for pair in readelf:binutils ffmpeg:ffmpeg ffprobe:ffmpeg mediainfo:mediainfo ffmpegthumbnailer:ffmpegthumbnailer \
            cmake:cmake pkg-config:pkg-config c++:g++ python3:python3; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
pkg-config --exists libavformat libavcodec libavutil libswscale 2>/dev/null ||
  need+=(libavformat-dev libavcodec-dev libavutil-dev libswscale-dev)
pkg-config --exists libturbojpeg 2>/dev/null || need+=(libturbojpeg0-dev)
if ((${#need[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing: ${need[*]} (install them with apt-get)" >&2
    exit 1
  fi
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

exec python3 bench/bench.py "$@"
