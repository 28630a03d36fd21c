#!/usr/bin/env bash
# Writes shared_media_durations.tsv: for every file in ../shared/media/MANIFEST.tsv (relative
# to the repository), the length korvel info must report (expected_s; empty means it must
# fail), beside two second opinions: ffprobe's container duration and mediainfo's. Where the
# two disagree the expected figure was decided from the file's own timestamps; the decisions
# and their reasons are listed below and written into the note column.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
media="$(cd "$here/../../../shared/media" && pwd)"
out="$here/shared_media_durations.tsv"

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

{
  printf 'file\texpected_s\tffprobe_s\tmediainfo_ms\tnote\n'
  tail -n +2 "$media/MANIFEST.tsv" | cut -f1 | while IFS= read -r file; do
    [[ -n "$file" ]] || continue
    ffprobe_s="$(ffprobe -v error -show_entries format=duration \
      -of default=nw=1:nk=1 "$media/$file" 2>/dev/null </dev/null | head -n1 || true)"
    [[ "$ffprobe_s" == "N/A" ]] && ffprobe_s=""
    mediainfo_ms="$(mediainfo --Inform='General;%Duration%' "$media/$file" 2>/dev/null | head -n1 || true)"
    expected="${decided[$file]-$ffprobe_s}"
    printf '%s\t%s\t%s\t%s\t%s\n' "$file" "$expected" "$ffprobe_s" "$mediainfo_ms" "${why[$file]-}"
  done
} > "$out"
