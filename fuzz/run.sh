#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) into build-fuzz/, on a bundled FFmpeg with
# the same instrumentation (built once into build-ffmpeg/, some minutes), and runs each for the
# given number of seconds. Installs nothing: `scripts/install-deps.sh clang-14
# libclang-rt-14-dev` brings clang and libFuzzer.
# The corpus grows in fuzz/corpus-work/<target>/corpus across runs; crashes, leaks and hangs
# land in fuzz/corpus-work/<target>/artifacts/. Both are git-ignored.
#
#   fuzz/run.sh <seconds-per-target> [target ...]      targets: fuzz_arguments fuzz_media
#
# With 0 seconds each target only replays its seeds and corpus once (CI does this).
#
# Seeds are read in place: tests/fixtures (regressions included) and ../shared/media.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: fuzz/run.sh <seconds-per-target> [fuzz_arguments|fuzz_media ...]"
seconds=${1:?$usage}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "$usage" >&2; exit 2; }
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_arguments fuzz_media)

cxx=""
for candidate in clang++-14 clang++; do
  if command -v "$candidate" >/dev/null; then
    cxx=$(command -v "$candidate")
    break
  fi
done
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  >"$probe/probe.cpp"
if [ -z "$cxx" ] || ! "$cxx" -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
  echo "fuzz/run.sh: needs clang++ with libFuzzer; run scripts/install-deps.sh clang-14 libclang-rt-14-dev" >&2
  exit 1
fi

build="build-fuzz"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEL_FUZZ=ON -DKORVEL_BUILD_TESTS=OFF -DKORVEL_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

work=fuzz/corpus-work
# A report aborts at once, so that libFuzzer keeps the input that caused it.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

for target in "${targets[@]}"; do
  corpus=$work/$target/corpus
  artifacts=$work/$target/artifacts
  mkdir -p "$corpus" "$artifacts"
  options=(-timeout=25 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$artifacts/")
  seeds=()
  case $target in
    fuzz_arguments)
      seeds=("$work/$target/seeds")
      mkdir -p "${seeds[0]}"
      i=0
      for text in L2EubXA0 YQ== YWI= "" 0 0.5 .5 1e-1 0x1p-1 64 1024 inf nan 0.99 \
        "info" "frame"; do
        printf %s "$text" >"${seeds[0]}/seed-$i"
        i=$((i + 1))
      done
      printf 'frame\x00L2EubXA0\x000.5\x00256' >"${seeds[0]}/seed-$i"
      options+=(-max_len=4096 -dict=fuzz/arguments.dict)
      ;;
    fuzz_media)
      seeds=(tests/fixtures)
      [ -d ../shared/media ] && seeds+=(../shared/media)
      options+=(-max_len="${KORVEL_FUZZ_MAX_LEN:-4194304}" -dict=fuzz/media.dict)
      ;;
    *)
      echo "fuzz/run.sh: unknown target $target" >&2
      exit 2
      ;;
  esac
  if [ "$seconds" -eq 0 ]; then
    options+=(-runs=0)
  else
    options+=(-max_total_time="$seconds")
  fi
  echo "== $target for ${seconds}s (log: $work/$target/last-run.log)"
  status=0
  "$build/fuzz/$target" "${options[@]}" "$corpus" "${seeds[@]}" >"$work/$target/last-run.log" 2>&1 ||
    status=$?
  grep -E '^#[0-9]+.*(INITED|DONE)|^stat::|^SUMMARY|^artifact_prefix|^Test unit written' \
    "$work/$target/last-run.log" || true
  if [ "$status" -ne 0 ]; then
    echo "== $target: finding (status $status), see $artifacts/" >&2
    exit 1
  fi
done
