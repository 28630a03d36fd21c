#!/usr/bin/env bash
# Installs the Debian 12 packages korvel needs to build, test and make its sample video, and
# any further packages named as arguments (fuzzing adds clang-14 and libclang-rt-14-dev).
set -euo pipefail
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config clang-format \
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libturbojpeg0-dev libzimg-dev \
  libgtest-dev ffmpeg strace ca-certificates "$@" >/dev/null
