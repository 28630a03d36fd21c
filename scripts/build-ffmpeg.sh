#!/usr/bin/env bash
# Builds the FFmpeg korvel links by default: the source of Debian 12's own `ffmpeg` package
# (Debian's patches included), configured with only the components listed in
# src/ffmpeg/input/accepted_media.txt, as static libraries.
#
#   scripts/build-ffmpeg.sh <cache folder> [further configure option ...]
#
# Prints the prefix (headers, static libraries, pkg-config files) on standard output. The
# prefix is <cache>/ffmpeg-<source version>-<hash of the configure options and compiler>; when
# it is complete nothing is built, so a second build, or a build with the same options in
# another build folder, reuses it. Debian's source index is looked up again at most once an
# hour (private apt lists under <cache>/apt, whose deb-src entries scripts/deb-src-entries.sh
# makes from the machine's apt configuration, which is not touched), so a new Debian source
# version, such as a security update, is picked up by the next build; when no index can be
# read, the newest source in the cache is built on.
# CMake runs this script while configuring (-DKORVEL_FFMPEG=bundled, the default). Needs
# dpkg-dev, nasm and libdav1d-dev (scripts/install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:?usage: scripts/build-ffmpeg.sh <cache folder> [configure option ...]}
shift
mkdir -p "$cache"
cache=$(cd "$cache" && pwd -P)
say() { echo "build-ffmpeg: $*" >&2; }

# Two build folders configuring at once share the cache.
exec 9>"$cache/lock"
flock 9

# Debian 12's source index, in private lists (the system's are not touched), from the package
# sources of the machine's own apt configuration: deb-src entries beside its deb entries.
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
entries=$apt_dir/deb-src
rm -rf "$entries.new"
"$root/scripts/deb-src-entries.sh" "$entries.new"
if diff -qr "$entries.new" "$entries" >/dev/null 2>&1; then
  rm -rf "$entries.new"
else  # other sources than last time: looked up now
  rm -rf "$entries" "$apt_dir/updated"
  mv "$entries.new" "$entries"
fi
apt_options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$entries"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
  -o APT::Sandbox::User="$(id -un)")
stamp=$apt_dir/updated
if [ -z "$(find "$stamp" -mmin -60 2>/dev/null)" ]; then
  if apt-get "${apt_options[@]}" -qq update --error-on=any >"$apt_dir/update.log" 2>&1; then
    touch "$stamp"
  else
    say "could not refresh Debian's source index (see $apt_dir/update.log)"
  fi
fi
version=""
newer() {
  if [ -z "$version" ] || dpkg --compare-versions "$1" gt "$version"; then version=$1; fi
}
# The newest ffmpeg of Debian's own indexes (their Release files name Debian as the origin and
# a bookworm codename), never another archive's ffmpeg for bookworm.
while read -r codename index; do
  case $codename in bookworm | bookworm-*) ;; *) continue ;; esac
  [ -e "$index" ] || continue
  for candidate in $(/usr/lib/apt/apt-helper cat-file "$index" | awk 'BEGIN { RS = "" }
      /(^|\n)Package: ffmpeg\n/ && match($0, /\nVersion: [^\n]+/) {
        print substr($0, RSTART + 10, RLENGTH - 10) }'); do
    newer "$candidate"
  done
done < <(apt-get "${apt_options[@]}" indextargets --format '$(CODENAME) $(FILENAME)' \
  'Identifier: Sources' 'Origin: Debian')
# With no index to read (no network, say), the newest source already in the cache.
if [ -z "$version" ]; then
  for description in "$cache"/source/*/ffmpeg_*.dsc; do
    if [ -e "$description" ]; then
      newer "$(awk '/^Version:/ { print $2; exit }' "$description")"
    fi
  done
  if [ -n "$version" ]; then
    say "no source index to read; building on the cached source of ffmpeg $version"
  fi
fi
if [ -z "$version" ]; then
  cat "$apt_dir/update.log" >&2 2>/dev/null || true
  say "no ffmpeg source in Debian's index: does the apt configuration name a Debian 12 archive?"
  exit 1
fi
upstream=${version#*:}
upstream=${upstream%-*}
revision=${version##*-}

# The components: what the code's whitelists accept, and what the build needs beyond them.
# The format whitelist names demuxers as they call themselves; configure calls MPEG-PS's mpegps.
mapfile -t components < <(awk '
  $1 == "container" { print "--enable-demuxer=" ($2 == "mpeg" ? "mpegps" : $2) }
  $1 == "probe" { print "--enable-demuxer=" $2 }
  $1 == "video" { print "--enable-decoder=" $3 }
  $1 == "audio" { print "--enable-decoder=" $2 }
  $1 == "parser" { print "--enable-parser=" $2 }
  $1 == "bsf" { print "--enable-bsf=" $2 }
' "$root/src/ffmpeg/input/accepted_media.txt")
# The file protocol is never opened (korvel reads through its own I/O and allows no protocol):
# it only lets the demuxers know the input is a local file, so that they skip the work meant
# for network reads (a pass over every pair of streams' indexes).
options=(--disable-everything --disable-programs --disable-doc --disable-network
  --disable-autodetect --disable-iconv --disable-avdevice --disable-avfilter --disable-swresample
  --enable-static --disable-shared --enable-pic --toolchain=hardened --enable-protocol=file
  --enable-zlib --enable-libdav1d --extra-version="$revision" "${components[@]}" "$@")

compiler=cc
for option in "$@"; do
  case $option in --cc=*) compiler=${option#--cc=} ;; esac
done
key=$( (printf '%s\n' "$version" "${options[@]}"; "$compiler" --version | head -n1) |
  sha256sum | cut -c1-12)
prefix=$cache/ffmpeg-$upstream-$revision-$key
source=$cache/source/$upstream-$revision/ffmpeg-$upstream
# FFmpeg's copyright notice and licence, from the source built, go with the libraries: the
# package installs them beside korvel, which contains them.
notices=$prefix/share/doc/ffmpeg
add_notices() {
  mkdir -p "$notices"
  cp "$source/debian/copyright" "$source/COPYING.LGPLv2.1" "$notices/"
  echo "$version" >"$notices/debian-source-version"
}
if [ -e "$prefix/complete" ] && [ -e "$notices/debian-source-version" ]; then
  echo "$prefix"
  exit 0
fi

# The source, fetched and unpacked once per version; dpkg-source applies Debian's patches.
if [ ! -e "$source/configure" ]; then
  say "fetching the source of ffmpeg $version"
  rm -rf "$cache/source/$upstream-$revision"
  fetch=$(mktemp -d "$cache/fetch.XXXXXX")
  (cd "$fetch" && apt-get "${apt_options[@]}" -qq source "ffmpeg=$version" >"$fetch/log" 2>&1) ||
    { cat "$fetch/log" >&2; exit 1; }
  mkdir -p "$cache/source"
  mv "$fetch" "$cache/source/$upstream-$revision"
fi
if [ -e "$prefix/complete" ]; then  # built before the notices went with it
  add_notices
  echo "$prefix"
  exit 0
fi

work=$cache/work-$upstream-$revision-$key
log=$prefix.log
rm -rf "$work" "$prefix"
mkdir -p "$work"
say "building FFmpeg $upstream-$revision into $prefix (a few minutes; log: $log)"
start=$SECONDS
failed() {
  tail -n 40 "$log" >&2
  say "failed, see $log"
  exit 1
}
(cd "$work" && "$source/configure" --prefix="$prefix" "${options[@]}") >"$log" 2>&1 || failed
# configure only warns about a misspelt component, and silently drops one whose dependencies
# are off; neither may leave a listed component out.
missing=()
for option in "${components[@]}"; do
  name=${option#--enable-}
  macro=CONFIG_${name#*=}_${name%%=*}
  grep -q "^#define ${macro^^} 1$" "$work/config_components.h" || missing+=("$option")
done
if [ ${#missing[@]} -gt 0 ]; then
  rm -rf "$work"
  say "FFmpeg $upstream cannot build these components of accepted_media.txt: ${missing[*]}"
  exit 1
fi
(cd "$work" && make -j"$(nproc)" && make install) >>"$log" 2>&1 || failed
rm -rf "$work"
add_notices
touch "$prefix/complete"
say "built in $((SECONDS - start)) s"
echo "$prefix"
