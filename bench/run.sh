#!/usr/bin/env bash
# korvel beside the tools that answer the same questions, timed by hyperfine; writes BENCHMARKS.md.
#   bench/run.sh [KORVEL [RUNS]]    (default build/korvel, 10 runs (frame: half); ~9 min on 2 busy cores)
# `info` against ffprobe and mediainfo; `frame` at p = 0 and 0.5, 256 px, against
# ffmpegthumbnailer at the same position and size; `frame` deep in a long group of pictures
# (p = 0.99) on one core and on two (taskset), beside ffmpegthumbnailer; the loading floor. Median wall time of RUNS
# runs without a shell (hyperfine -N), peak RSS of one more run (/usr/bin/time). Every
# comparison's hyperfine JSON stays in bench/results/run/.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/media.sh
korvel=$(realpath "${1:-build/korvel}")
runs=${2:-10}
frame_runs=$(((runs + 1) / 2))
for tool in hyperfine ffprobe mediainfo ffmpegthumbnailer jq c++ pkg-config taskset ffmpeg; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install $tool)" >&2; exit 1; }
done
out=bench/results/run
rm -rf "$out"
mkdir -p "$out"

# A few files of each kind: tiny, long, one sync frame in 1080p, 4K rotated, 8K, HDR, 10-bit,
# audio only, and each container; the shared media only where present.
files=(tests/fixtures/{info_1500ms.mp4,long_gop_h264_1080p.mp4,indexed_vp9.webm,audio_1000ms.flac})
for file in mp4/{sample,h265_bframes,sample_av1,hdr10-av1,portrait_4k60,8k24fps_300ms}.mp4 \
  mp4/long_1080p_lowbitrate.mp4 mkv/bbb_642x642_768kbps_30fps_vp9.webm \
  vp9/roadtrip-vp92-10bit.webm ts/sample_h264.ts avi/sample.avi flv/sample.flv; do
  if [ -f "../shared/media/$file" ]; then files+=("../shared/media/$file"); fi
done

# The loading floor: links every shared library korvel needs (kept with --no-as-needed) and
# FFmpeg from where korvel's build took it, calls one function in each, and returns.
prefix=$(sed -n 's/^FFMPEG_libavformat_PREFIX:INTERNAL=//p' "$(dirname "$korvel")/CMakeCache.txt" \
  2>/dev/null || true)
static=--static
[[ $(readelf -d "$korvel") != *libavformat* ]] || static=
# shellcheck disable=SC2046,SC2086
c++ -O2 bench/floor/floor.cpp -o "$out/floor" $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config \
  $static --cflags --libs libavformat libavcodec libswscale libavutil libturbojpeg) \
  -Wl,--no-as-needed $(readelf -d "$korvel" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/-l:\1/p')

# measure NAME WARMUP RUNS -n LABEL COMMAND ...: hyperfine's median of each command in ms, on
# one line, marked with "!" where a run of it failed.
measure() {
  local name=$1 warmup=$2 runs=$3
  shift 3
  hyperfine -N -i -w "$warmup" -r "$runs" --export-json "$out/$name.json" "$@" >/dev/null
  jq -r '[.results[] | (.median * 1000 | tostring) + if any(.exit_codes[]; . != 0) then "!"
    else "" end] | join(" ")' "$out/$name.json"
}
# Peak resident memory of one run, MiB.
peak() {
  /usr/bin/time -f %M -o "$out/rss" "$@" >/dev/null 2>&1 || true
  tail -1 "$out/rss" | awk '{ printf "%.0f", $1 / 1024 }'
}
# row FILE TIMES... / PEAKS...: a table row with korvel's ratio to each peer; the ratios are
# also kept for the summary.
row() {
  awk -v table="$1" -v out="$out" 'BEGIN {
    n = split(ARGV[2], ms, " "); split(ARGV[3], mib, " ")
    line = "| " ARGV[1] " |"
    for (i = 1; i <= n; i++) line = line (ms[i] ~ /!/ ? " fail" : sprintf(" %.1f", ms[i])) " |"
    for (i = 2; i <= n; i++) {
      if (ms[1] ~ /!/ || ms[i] ~ /!/) { line = line " - |"; continue }
      line = line sprintf(" %.2f |", ms[1] / ms[i])
      print ms[1] / ms[i] >> (out "/ratios-" table "-" i)
    }
    print line " " mib[1] " / " mib[2] (n > 2 ? " / " mib[3] : "") " |"
  }' "$2" "$3" "$4"
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.2f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'; }

load_before=$(cut -d" " -f1-3 /proc/loadavg)
floor=$(measure floor 5 "$runs" -n floor "$out/floor" -n refusal "$korvel info !")
info_rows=() frame_rows=()
for file in "${files[@]}"; do
  path=$(path_arg "$file")
  "$korvel" info "$path" >/dev/null 2>&1 || continue
  name=${file#../shared/media/}
  name=${name#tests/}
  times=$(measure "info-${name//\//_}" 2 "$runs" -n korvel "$korvel info $path" \
    -n ffprobe "ffprobe -v error -show_entries format=duration '$file'" \
    -n mediainfo "mediainfo --Inform=General;%Duration% '$file'")
  peaks="$(peak "$korvel" info "$path") $(peak ffprobe -v error -show_entries format=duration "$file")"
  peaks+=" $(peak mediainfo "--Inform=General;%Duration%" "$file")"
  info_rows+=("$(row info "$name" "$times" "$peaks")")
  for p in 0 0.5; do
    "$korvel" frame "$path" "$p" 256 >/dev/null 2>&1 || continue
    at=$(awk -v p="$p" 'BEGIN { print p * 100 }')%
    times=$(measure "frame-$p-${name//\//_}" 1 "$frame_runs" -n korvel "$korvel frame $path $p 256" \
      -n ffmpegthumbnailer "ffmpegthumbnailer -i '$file' -o $out/thumb.jpg -s 256 -t $at")
    peaks="$(peak "$korvel" frame "$path" "$p" 256)"
    peaks+=" $(peak ffmpegthumbnailer -i "$file" -o "$out/thumb.jpg" -s 256 -t "$at")"
    frame_rows+=("$(row "frame-$p" "$name, p = $p" "$times" "$peaks")")
  done
done
# Deep in a long group of pictures the decoding is the work, and korvel's decoder threads come
# from the processors it may run on: 4K HEVC (made here, one sync frame in 4 s), 1080p H.264
# (one in 5 s) and, where present, 8K HEVC; each on core 0, then on cores 0 and 1.
hevc_4k=$out/hevc_3840x2160_long_gop.mp4
ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=3840x2160:r=30:d=4 -c:v libx265 -preset ultrafast \
  -x265-params log-level=error:keyint=300:min-keyint=300:scenecut=0 -pix_fmt yuv420p "$hevc_4k"
deep=("$hevc_4k" tests/fixtures/long_gop_h264_1080p.mp4)
[ ! -f ../shared/media/mp4/8k24fps_300ms.mp4 ] || deep+=(../shared/media/mp4/8k24fps_300ms.mp4)
core_rows=()
for file in "${deep[@]}"; do
  path=$(path_arg "$file")
  name=${file##*/}
  commands=()
  for cores in 0 0,1; do
    commands+=(-n "korvel on $cores" "taskset -c $cores $korvel frame $path 0.99 256")
  done
  for cores in 0 0,1; do
    commands+=(-n "ffmpegthumbnailer on $cores"
      "taskset -c $cores ffmpegthumbnailer -i '$file' -o $out/thumb.jpg -s 256 -t 99%")
  done
  times=$(measure "cores-$name" 1 "$frame_runs" "${commands[@]}")
  peaks="$(peak taskset -c 0 "$korvel" frame "$path" 0.99 256) $(peak taskset -c 0,1 "$korvel" frame "$path" 0.99 256)"
  core_rows+=("$(awk -v name="$name" -v mib="$peaks" '{
    line = "| " name " |"
    for (i = 1; i <= NF; i++) line = line ($i ~ /!/ ? " fail" : sprintf(" %.1f", $i)) " |"
    split(mib, m, " "); print line " " m[1] " / " m[2] " |"
  }' <<<"$times")")
done
load_after=$(cut -d" " -f1-3 /proc/loadavg)

read -r floor_ms refusal_ms <<<"$floor"
ffmpeg_inside=$(grep -aom1 'FFmpeg version [0-9][[:graph:]]*' "$korvel" || echo 'no FFmpeg')
{
  cat <<EOF
# korvel benchmarks

Made by \`bench/run.sh\` on $(date -u '+%F %H:%M UTC').

- korvel: $korvel at commit $(git -C "$(dirname "$korvel")" rev-parse --short HEAD 2>/dev/null ||
  echo '?'), $ffmpeg_inside built in, $(readelf -d "$korvel" | grep -c NEEDED) shared libraries needed.
- Peers: $(ffmpeg -version | head -1 | cut -d' ' -f1-3) (ffprobe), ffmpegthumbnailer \
$(ffmpegthumbnailer -v 2>&1 | awk '{ print $NF }'), $(mediainfo --Version | tail -1).
- Machine: $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)), load average
  $load_before before and $load_after after: other work kept it busy, so the times are longer
  than on a quiet machine; the ratios, measured side by side in one hyperfine run per row, hold
  better.
- Method: median wall time of $runs runs for \`info\`, $frame_runs for \`frame\`, after warm-up runs
  (hyperfine -N, no shell); peak RSS of one more run (\`/usr/bin/time -f %M\`). Ratio: korvel's
  median over the peer's, below 1 where korvel is faster.
- Loading floor: a program that links what korvel links and returns takes $(printf %.1f \
  "$floor_ms") ms; korvel refusing a request before it opens anything, $(printf %.1f "${refusal_ms%!}") ms.

## \`info\`: against \`ffprobe -v error -show_entries format=duration\` and \`mediainfo --Inform=General;%Duration%\`

| file | korvel ms | ffprobe ms | mediainfo ms | k/ffprobe | k/mediainfo | peak MiB (k / ffprobe / mediainfo) |
| --- | --- | --- | --- | --- | --- | --- |
EOF
  printf '%s\n' "${info_rows[@]}"
  echo
  echo "Median ratio over ${#info_rows[@]} files: $(median "$out/ratios-info-2") against ffprobe," \
    "$(median "$out/ratios-info-3") against mediainfo."
  echo
  echo "## \`frame\` at 256 px: against \`ffmpegthumbnailer -s 256 -t P%\`"
  echo
  echo "| file | korvel ms | ffmpegthumbnailer ms | ratio | peak MiB (k / ffmpegthumbnailer) |"
  echo "| --- | --- | --- | --- | --- |"
  printf '%s\n' "${frame_rows[@]}"
  echo
  echo "Median ratio: $(median "$out/ratios-frame-0-2") at p = 0," \
    "$(median "$out/ratios-frame-0.5-2") at p = 0.5. Past the start ffmpegthumbnailer shows a" \
    "sync frame near the position, korvel the frame at it, decoding from the sync frame before:" \
    "on files with long GOPs that decoding is where korvel takes longer."
  echo
  echo "## \`frame\` at p = 0.99 in a long group of pictures, on one core and on two (\`taskset\`)"
  echo
  echo "Median ms. korvel's decoder threads come from the processors it may run on (H.264 decodes"
  echo "on one thread, whose damage reports frame threads would race); ffmpegthumbnailer shows"
  echo "the sync frame near the position, korvel decodes to the frame at it."
  echo
  echo "| file | korvel, 1 core | korvel, 2 cores | ffmpegthumbnailer, 1 core | ffmpegthumbnailer, 2 cores | korvel peak MiB (1 / 2 cores) |"
  echo "| --- | --- | --- | --- | --- | --- |"
  printf '%s\n' "${core_rows[@]}"
} >BENCHMARKS.md
cat BENCHMARKS.md
