#!/usr/bin/env bash
# Writes shared_media.tsv: for every file in ../shared/media/MANIFEST.tsv (relative to the
# repository), the length korvel info must report (expected_s; empty means it must fail) and
# the size of `korvel frame FILE 0.5 256` (frame_at_256, or "fail"), beside two second opinions
# on the length: ffprobe's container duration and mediainfo's. Where those two disagree the
# expected length was decided from the file's own timestamps; the decisions and their reasons
# are listed below and written into the note column. The frame size is worked out from
# ffprobe's figures; a file fails when it has no video stream (cover art does not count), when
# ffprobe reports no or a zero duration, or when ffmpeg cannot decode a single frame of it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
media="$(cd "$here/../../../shared/media" && pwd)"
out="$here/shared_media.tsv"
box=256

declare -A decided=(
  [mp4/sample_fragmented_seekable.mp4]="1.068000"
  [ts/sample_h264.ts]="1.000000"
  [ts/sample_h265.ts]="1.000000"
  [ts/bbb_2500ms.ts]="2.512722"
  [ts/sample_h262_mpeg_audio.ps]="0.130911"
  [flv/sample.flv]="1.136000"
  [drm/sample_fragmented_clearkey.mp4]=""
)
declare -A why=(
  [mp4/sample_fragmented_seekable.mp4]="mehd states 1068 ms; the last samples end at 1.0677 s (video) and 1.0681 s (audio); ffprobe's figure is in no box"
  [ts/sample_h264.ts]="30 frames at 30 fps, PTS 1.4667 to 2.4667 s; mediainfo leaves out the last frames"
  [ts/sample_h265.ts]="30 frames at 30 fps, PTS 1.4667 to 2.4667 s; mediainfo leaves out the last frames"
  [ts/bbb_2500ms.ts]="audio 1.5141 to 4.0268 s outlasts the video; mediainfo counts the video only"
  [ts/sample_h262_mpeg_audio.ps]="audio from 0.9891 s, video to 1.12 s; mediainfo counts the video only"
  [flv/sample.flv]="header 1.136 s, confirmed by the tags (video from 0.067 s, audio to 1.157 s); mediainfo counts from the clock's zero"
  [drm/sample_fragmented_clearkey.mp4]="encrypted, and its encryption boxes do not parse: no length korvel can stand behind"
)

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
  printf 'file\texpected_s\tframe_at_256\tffprobe_s\tmediainfo_ms\tnote\n'
  tail -n +2 "$media/MANIFEST.tsv" | cut -f1 | while IFS= read -r file; do
    [[ -n "$file" ]] || continue
    ffprobe_s="$(probe -show_entries format=duration "$media/$file" | head -n1)"
    [[ "$ffprobe_s" == "N/A" ]] && ffprobe_s=""
    mediainfo_ms="$(mediainfo --Inform='General;%Duration%' "$media/$file" 2>/dev/null | head -n1 || true)"
    expected="${decided[$file]-$ffprobe_s}"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$file" "$expected" "$(expected "$media/$file")" \
      "$ffprobe_s" "$mediainfo_ms" "${why[$file]-}"
  done
} > "$out"
