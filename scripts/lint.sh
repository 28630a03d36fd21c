#!/usr/bin/env bash
# Every tracked shell script through shellcheck (warnings and errors) and every Python file
# through pyflakes: files whose #! line names a shell or Python, or that end in .sh or .py.
set -euo pipefail
cd "$(dirname "$0")/.."
shells=() pythons=()
while IFS= read -r -d '' file; do
  first=$(head -n 1 "$file" | tr -d '\0')
  case $first:$file in
    '#!'*python*:* | *:*.py) pythons+=("$file") ;;
    '#!'*sh:* | '#!'*'sh '*:* | *:*.sh) shells+=("$file") ;;
  esac
done < <(git ls-files -z | xargs -0 grep -lIZ -m1 '' --)
shellcheck -x -P SCRIPTDIR -S warning "${shells[@]}"
pyflakes3 "${pythons[@]}"
