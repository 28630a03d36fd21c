#!/usr/bin/env bash
# Build korvel (Release, build-bench/) when needed, then render the contact
# sheet. Arguments go to tools/contact_sheet.py; see --help there.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
if [[ -z "${KORVEL:-}" ]]; then
  # A source tree caught mid-edit may not build; an older binary still serves.
  if ! { cmake -S "$repo" -B "$repo/build-bench" -DCMAKE_BUILD_TYPE=Release -DKORVEL_BUILD_TESTS=OFF &&
         cmake --build "$repo/build-bench" -j2 --target korvel; } >/dev/null; then
    [[ -x "$repo/build-bench/korvel" ]] || { echo "korvel does not build" >&2; exit 1; }
    echo "korvel build failed; using the existing build-bench/korvel" >&2
  fi
  export KORVEL="$repo/build-bench/korvel"
fi
exec python3 "$repo/tools/contact_sheet.py" "$@"
