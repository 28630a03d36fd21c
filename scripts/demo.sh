#!/usr/bin/env bash
# From a fresh Debian 12 machine: installs what korvel needs, builds it, makes a short sample
# video and asks korvel for its duration and for a thumbnail of its middle.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
sample=build/sample.mp4
ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=3 \
  -c:v libx264 -pix_fmt yuv420p "$sample"
path=$(printf %s "$sample" | base64 -w0)
echo "info:  $(build/korvel info "$path")"
build/korvel frame "$path" 0.5 256 >build/sample.jpg
echo "frame: wrote build/sample.jpg ($(stat -c %s build/sample.jpg) bytes)"
