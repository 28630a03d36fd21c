#!/usr/bin/env bash
# Builds korvel and its tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-sanitized/ and runs the unit and end-to-end tests, the latter against the sanitized
# korvel. Any report aborts the process (the crash guard is off in this build), so a test sees
# a death by signal or stray standard error and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-sanitized -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_SANITIZE=ON \
  -DKORVEL_WERROR=ON >/dev/null
cmake --build build-sanitized -j"$(nproc)"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="abort_on_error=1:halt_on_error=1:print_stacktrace=1"
# The formatting check does not depend on the build, and the desktop tests check the wrapper,
# the package and a desktop's sandbox rather than korvel's memory; scripts/test.sh runs them.
ctest --test-dir build-sanitized --output-on-failure -j"$(nproc)" -E '^(format_check|desktop\..*)$'
