#!/usr/bin/env bash
# Builds the FFmpeg korvel links by default: the source of Debian 12's own `ffmpeg` package
# (Debian's patches included), configured with only the components listed in
# src/ffmpeg/accepted_media.txt, as static libraries.
#
#   scripts/build-ffmpeg.sh <cache folder> [further configure option ...]
#
# Prints the prefix (headers, static libraries, pkg-config files) on standard output. The
# prefix is <cache>/ffmpeg-<source version>-<hash of the configure options and compiler>; when
# it is complete nothing is built, so a second build, or a build with the same options in
# another build folder, reuses it. Debian's source index is looked up again at most once an
# hour (private apt lists under <cache>/apt; the system's apt configuration is not touched),
# so a new Debian source version, such as a security update, is picked up by the next build.
# CMake runs this script while configuring (-DKORVEL_FFMPEG=bundled, the default). Needs
# dpkg-dev, nasm and libdav1d-dev (scripts/install-deps.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:?usage: scripts/build-ffmpeg.sh <cache folder> [configure option ...]}
shift
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
say() { echo "build-ffmpeg: $*" >&2; }

# Two build folders configuring at once share the cache.
exec 9>"$cache/lock"
flock 9

# Debian 12's source index, in private lists.
apt_dir=$cache/apt
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
cat >"$apt_dir/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
apt_options=(-o Dir::Etc::SourceList="$apt_dir/sources.list"
  -o Dir::Etc::SourceParts="$apt_dir/parts" -o Dir::State::Lists="$apt_dir/lists"
  -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User="$(id -un)")
stamp=$apt_dir/updated
if [ -z "$(find "$stamp" -mmin -60 2>/dev/null)" ]; then
  if apt-get "${apt_options[@]}" -qq update >"$apt_dir/update.log" 2>&1; then
    touch "$stamp"
  elif [ -e "$stamp" ]; then
    say "could not refresh Debian's source index (see $apt_dir/update.log); using the last one"
  else
    cat "$apt_dir/update.log" >&2
    say "could not read Debian's source index"
    exit 1
  fi
fi
version=""
for candidate in $(apt-cache "${apt_options[@]}" showsrc --only-source ffmpeg | awk '/^Version:/ {print $2}'); do
  if [ -z "$version" ] || dpkg --compare-versions "$candidate" gt "$version"; then
    version=$candidate
  fi
done
[ -n "$version" ] || { say "no ffmpeg source package in Debian's index"; exit 1; }
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
' "$root/src/ffmpeg/accepted_media.txt")
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
if [ -e "$prefix/complete" ]; then
  echo "$prefix"
  exit 0
fi

# The source, fetched and unpacked once per version; dpkg-source applies Debian's patches.
source=$cache/source/$upstream-$revision/ffmpeg-$upstream
if [ ! -e "$source/configure" ]; then
  say "fetching the source of ffmpeg $version"
  rm -rf "$cache/source/$upstream-$revision"
  fetch=$(mktemp -d "$cache/fetch.XXXXXX")
  (cd "$fetch" && apt-get "${apt_options[@]}" -qq source "ffmpeg=$version" >"$fetch/log" 2>&1) ||
    { cat "$fetch/log" >&2; exit 1; }
  mkdir -p "$cache/source"
  mv "$fetch" "$cache/source/$upstream-$revision"
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
touch "$prefix/complete"
say "built in $((SECONDS - start)) s"
echo "$prefix"
