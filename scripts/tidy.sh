#!/usr/bin/env bash
# clang-tidy over korvel's sources with the checks in .clang-tidy, on build/'s compile
# commands (scripts/build.sh makes them); any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/compile_commands.json ] || scripts/build.sh >/dev/null
# Collected first: tee to /dev/stderr would reopen, and so empty, a log that stderr writes to.
findings=$(git ls-files -z 'src/*.cpp' 'desktop/*.cpp' |
  xargs -0 -P"$(nproc)" -n4 clang-tidy -p build --quiet 2>/dev/null || true)
printf '%s\n' "$findings" >&2
! grep -qE '(warning|error):' <<<"$findings"
