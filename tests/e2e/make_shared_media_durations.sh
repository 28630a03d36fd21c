#!/usr/bin/env bash
# Writes shared_media_durations.tsv: the container duration ffprobe reports for every file in
# ../shared/media/MANIFEST.tsv (relative to the repository), as the reference for korvel info.
# An empty figure means ffprobe reported none (N/A) or could not read the file.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
media="$(cd "$here/../../../shared/media" && pwd)"
out="$here/shared_media_durations.tsv"

{
  printf 'file\tduration_s\n'
  tail -n +2 "$media/MANIFEST.tsv" | cut -f1 | while IFS= read -r file; do
    [[ -n "$file" ]] || continue
    duration="$(ffprobe -v error -show_entries format=duration \
      -of default=nw=1:nk=1 "$media/$file" 2>/dev/null </dev/null | head -n1 || true)"
    [[ "$duration" == "N/A" ]] && duration=""
    printf '%s\t%s\n' "$file" "$duration"
  done
} > "$out"
