#!/usr/bin/env bash
# Builds korvel and runs every test: formatting, unit and end-to-end.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
