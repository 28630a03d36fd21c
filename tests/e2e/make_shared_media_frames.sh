#!/usr/bin/env bash
# Writes shared_media_frames.tsv: for every file in ../shared/media/MANIFEST.tsv (relative to
# the repository), the size of `korvel frame FILE 0.5 256` as worked out from ffprobe's figures,
# or "fail". A file fails when it has no video stream (cover art does not count), when ffprobe
# reports no or a zero duration, or when ffmpeg cannot decode a single frame of it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
media="$(cd "$here/../../../shared/media" && pwd)"
out="$here/shared_media_frames.tsv"
box=256

probe() { ffprobe -v error -of default=nw=1:nk=1 "$@" </dev/null 2>/dev/null || true; }

# WIDTH HEIGHT SAR ROTATION -> "WxH" fitted into the box. The sample aspect ratio widens (or
# narrows) the picture; a quarter turn swaps the sides; a scaled picture's long side is the box
# and its short side is rounded to the nearest pixel.
fitted() {
  awk -v w="$1" -v h="$2" -v sar="$3" -v rotation="$4" -v box="$box" 'BEGIN {
    split(sar, part, ":")
    if (part[1] + 0 > 0 && part[2] + 0 > 0) { w = w * part[1] / part[2] }
    turns = int((rotation < 0 ? -rotation : rotation) / 90 + 0.5)
    if (turns % 2 == 1) { t = w; w = h; h = t }
    if (w <= box && h <= box) { printf "%dx%d\n", int(w + 0.5), int(h + 0.5); exit }
    if (w >= h) { short = int(h * box / w + 0.5); printf "%dx%d\n", box, (short < 1 ? 1 : short) }
    else { short = int(w * box / h + 0.5); printf "%dx%d\n", (short < 1 ? 1 : short), box }
  }'
}

expected() {
  local file="$1"
  # The first video stream that is not cover art.
  local stream
  stream="$(probe -select_streams v -show_entries stream=index:stream_disposition=attached_pic \
    -of csv=p=0 "$file" | awk -F, '$2 == 0 { print $1; exit }')"
  [[ -n "$stream" ]] || { echo fail; return; }
  local duration
  duration="$(probe -show_entries format=duration "$file" | head -n1)"
  if [[ -z "$duration" || "$duration" == "N/A" ]] || awk -v d="$duration" 'BEGIN { exit !(d <= 0) }'; then
    echo fail
    return
  fi
  local frames
  frames="$(ffmpeg -nostdin -v error -i "$file" -map "0:$stream" -frames:v 1 -f framecrc - \
    2>/dev/null </dev/null | grep -vc '^#' || true)"
  [[ "$frames" == 1 ]] || { echo fail; return; }
  local width height sar rotation
  width="$(probe -select_streams "$stream" -show_entries stream=width "$file" | head -n1)"
  height="$(probe -select_streams "$stream" -show_entries stream=height "$file" | head -n1)"
  sar="$(probe -select_streams "$stream" -show_entries stream=sample_aspect_ratio "$file" |
    head -n1)"
  rotation="$(probe -select_streams "$stream" -show_entries stream_side_data=rotation "$file" |
    grep -E '^-?[0-9]+$' | head -n1 || true)"
  fitted "$width" "$height" "${sar:-1:1}" "${rotation:-0}"
}

{
  printf 'file\tframe_at_256\n'
  tail -n +2 "$media/MANIFEST.tsv" | cut -f1 | while IFS= read -r file; do
    [[ -n "$file" ]] || continue
    printf '%s\t%s\n' "$file" "$(expected "$media/$file")"
  done
} > "$out"
