#!/usr/bin/env bash
# Prints every answer korvel gives over media folders (info, and the md5 of frame at a few
# positions and sizes), one line per request, so two builds can be compared with diff:
#   tools/answers.sh build/korvel ../shared/media tests/fixtures > before.txt
set -uo pipefail
# shellcheck source=tools/media.sh
. "$(dirname "$0")/media.sh"
korvel=$1
shift
ask() {
  local out status
  out=$("$korvel" "$@" 2>/dev/null | md5sum | cut -c1-12)
  status=${PIPESTATUS[0]}
  printf '%s' "$out/$status"
}
media_files "$@" | while read -r file; do
  path=$(path_arg "$file")
  info=$("$korvel" info "$path" 2>/dev/null; printf '/%s' "$?")
  line="$file info=$info"
  if [[ $info == *'/0' ]]; then
    for request in "0 256" "0.1 256" "0.5 256" "0.9 256" "0.99 256" "0.5 1024"; do
      # shellcheck disable=SC2086
      line+=" $(ask frame "$path" $request)"
    done
  fi
  echo "$line"
done
