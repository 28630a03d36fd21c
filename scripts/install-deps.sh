#!/usr/bin/env bash
# Installs the Debian 12 packages korvel needs to build, test, package and make its sample video,
# and any further packages named as arguments (fuzzing adds clang-14 and libclang-rt-14-dev).
# dpkg-dev, nasm and libdav1d-dev build the bundled FFmpeg; Debian's FFmpeg development
# packages serve the -DKORVEL_FFMPEG=system variant, and the ffmpeg tool makes test media
# (mediainfo gives the duration matrix a second opinion beside ffprobe's). The desktop tests
# ask GNOME's thumbnail factory (through Debian's Python) and tumbler (in a D-Bus session of
# its own) for thumbnails, also with ffmpegthumbnailer's entry installed beside korvel's, and
# check the Debian package with lintian; clang-tidy, shellcheck and pyflakes check the code.
# A locale with a decimal comma lets the tests check that numbers are read the same whatever
# the environment's locale.
set -euo pipefail
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends \
  build-essential cmake pkg-config clang-format clang-tidy shellcheck python3-pyflakes \
  dpkg-dev nasm libdav1d-dev \
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libturbojpeg0-dev libzimg-dev \
  libpng-dev scdoc libgtest-dev ffmpeg mediainfo strace ca-certificates \
  python3 python3-pytest python3-gi gir1.2-gnomedesktop-3.0 gir1.2-gdkpixbuf-2.0 bubblewrap \
  shared-mime-info man-db lintian locales tumbler dbus-daemon ffmpegthumbnailer "$@" >/dev/null
if ! locale -a | grep -qi '^de_DE\.utf-\?8$'; then
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
