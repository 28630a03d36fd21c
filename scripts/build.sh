#!/usr/bin/env bash
# Configures and builds korvel and its tests into build/ (Release).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKORVEL_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
