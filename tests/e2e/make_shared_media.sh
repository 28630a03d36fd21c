#!/usr/bin/env bash
# Writes shared_media.tsv: for every file in ../shared/media/MANIFEST.tsv (relative to the
# repository), the length korvel info must report (expected_s; empty means it must fail) and
# the size of `korvel frame FILE 0.5 256` (frame_at_256, or "fail"), beside two second opinions
# on the length: ffprobe's container duration and mediainfo's; then the same for the files of
# ../shared/media/peers (see its NOTICE). Where those two disagree the expected length (and,
# where given, the frame) was decided from the file's own samples and timestamps, for the
# reasons below, which go into the note column.
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=../fixtures/fixture_lib.sh
. ../fixtures/fixture_lib.sh
media="$(cd ../../../shared/media && pwd)"
box=256

declare -A decided picture why
while IFS='|' read -r file seconds frame reason; do
  decided[$file]=$seconds picture[$file]=$frame why[$file]=$reason
done <<'DECIDED'
mp4/sample_fragmented_seekable.mp4|1.068000||the audio samples add up to 1.0681 s, the video's to 1.001 s (its header says 1.0677 s); ffprobe's figure is in no box
ts/sample_h264.ts|1.000000||30 frames at 30 fps, PTS 1.4667 to 2.4667 s; mediainfo leaves out the last frames
ts/sample_h265.ts|1.000000||30 frames at 30 fps, PTS 1.4667 to 2.4667 s; mediainfo leaves out the last frames
ts/bbb_2500ms.ts|2.512722||audio 1.5141 to 4.0268 s outlasts the video; mediainfo counts the video only
ts/sample_h262_mpeg_audio.ps|0.130911||audio from 0.9891 s, video to 1.12 s; mediainfo counts the video only
flv/sample.flv|1.090000||the tags span 0.067 s (the first video frame shown, after a composition delay) to 1.157 s (the last audio frame's end); the header's 1.136 s counts from the clock's zero, as mediainfo does
drm/sample_fragmented_clearkey.mp4|||encrypted, and its encryption boxes do not parse: no length korvel can stand behind
peers/flac-noheader-s16.flac|4.000000||no STREAMINFO: 39 frames hold 176,400 samples at 44.1 kHz; the parser's timestamps step by half a frame
peers/bug498380.ogv|0.766667|fail|Theora at 30 fps whose last whole page has granule 22 (frame 22 of an old-style stream, ending at 23 frames); pages lost after the keyframe, so no picture decodes with its references
peers/bug523816.ogv|0.766667|fail|the same stream with its leading pages, keyframe included, lost: frames 9 to 22 decode, without their references
DECIDED

quiet() { probe "$@" </dev/null 2>/dev/null || true; }

# The frame's size, worked out from ffprobe's figures, or "fail": when the file has no video
# stream (cover art does not count), states no or a zero duration, or decodes to no frame.
frame_size() {
  local file="$1" stream duration
  stream="$(quiet -select_streams v -show_entries stream=index:stream_disposition=attached_pic \
    -of csv=p=0 "$file" | awk -F, '$2 == 0 { print $1; exit }')"
  duration="$(quiet -show_entries format=duration "$file" | head -n1)"
  if [[ -z "$stream" || -z "$duration" || "$duration" == "N/A" ]] ||
    awk -v d="$duration" 'BEGIN { exit !(d <= 0) }' ||
    [[ "$(ffmpeg -nostdin -v error -i "$file" -map "0:$stream" -frames:v 1 -f framecrc - \
      2>/dev/null </dev/null | grep -vc '^#' || true)" != 1 ]]; then
    echo fail
    return
  fi
  # The sample aspect ratio widens (or narrows) the picture; a quarter turn swaps the sides; a
  # scaled picture's long side is the box and its short side is rounded to the nearest pixel.
  quiet -select_streams "$stream" -of default=nw=1 \
    -show_entries stream=width,height,sample_aspect_ratio:stream_side_data=rotation "$file" |
    awk -F= -v box="$box" '!($1 in v) { v[$1] = $2 } END {
    w = v["width"]; h = v["height"]
    split(v["sample_aspect_ratio"], part, ":")
    if (part[1] + 0 > 0 && part[2] + 0 > 0) { w = w * part[1] / part[2] }
    turns = int((v["rotation"] < 0 ? -v["rotation"] : v["rotation"]) / 90 + 0.5)
    if (turns % 2 == 1) { t = w; w = h; h = t }
    if (w <= box && h <= box) { printf "%dx%d\n", int(w + 0.5), int(h + 0.5); exit }
    if (w >= h) { short = int(h * box / w + 0.5); printf "%dx%d\n", box, (short < 1 ? 1 : short) }
    else { short = int(w * box / h + 0.5); printf "%dx%d\n", (short < 1 ? 1 : short), box }
  }'
}

{
  printf 'file\texpected_s\tframe_at_256\tffprobe_s\tmediainfo_ms\tnote\n'
  { tail -n +2 "$media/MANIFEST.tsv" | cut -f1; (cd "$media" && ls peers/*.*); } |
    while IFS= read -r file; do
    [[ -n "$file" && "$file" != peers/NOTICE ]] || continue
    ffprobe_s="$(quiet -show_entries format=duration "$media/$file" | head -n1)"
    [[ "$ffprobe_s" == "N/A" ]] && ffprobe_s=""
    mediainfo_ms="$(mediainfo --Inform='General;%Duration%' "$media/$file" 2>/dev/null | head -n1 || true)"
    size="${picture[$file]:-$(frame_size "$media/$file")}"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$file" "${decided[$file]-$ffprobe_s}" "$size" \
      "$ffprobe_s" "$mediainfo_ms" "${why[$file]-}"
  done
} > shared_media.tsv
