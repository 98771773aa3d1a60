#!/usr/bin/env bash
# Builds everything and runs every test: the unit and integration tests (ctest), the same suite
# built with AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for a bounded
# time, and the Windows build with its tests under wine64. Needs no arguments; starts every
# server the tests need itself. Arguments go to every cmake configure, e.g.
# -DINSTALLER_PASSWORD=... (the tests' servers take the build's account).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-10}
# Each stage's time, printed at the end.
stage_started=$SECONDS
stage_name=""
stage_times=""
stage() {
  [ -z "$stage_name" ] || stage_times+="  $stage_name: $((SECONDS - stage_started)) s"$'\n'
  stage_name=$1
  stage_started=$SECONDS
  echo "== $1"
}

scripts/deps.sh windows

stage "formatting (clang-format)"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

stage "build (release with debug info)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON "$@" >/dev/null
cmake --build build -j"$jobs"
stage "tests"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

# One clang build serves the sanitizer run and the fuzz targets: everything is built with
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzer's coverage, the targets link
# libFuzzer. (GCC's -Werror builds above and below keep the warnings in check.)
stage "build with AddressSanitizer and UndefinedBehaviorSanitizer (clang, with the fuzz targets)"
cmake -S . -B build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_SANITIZE=ON -DINSTALLER_FUZZ=ON \
      -DINSTALLER_WITH_QT=OFF "$@" >/dev/null
cmake --build build-asan -j"$jobs"
stage "tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900

stage "fuzz targets (${fuzz_seconds} s each)"
for target in build-asan/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  corpus=$(mktemp -d)
  echo "-- $(basename "$target")"
  "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
stage "Windows build (MinGW-w64)"
JOBS="$jobs" scripts/build-windows.sh "$@"
# The 32-bit programs build while the 64-bit ones' tests, which mostly wait on Wine, run; they
# are built only, as nothing 32-bit runs on this machine.
stage "the Windows tests under wine64, and the 32-bit Windows programs built beside them"
i686_log=$(mktemp)
ARCH=i686 JOBS=1 scripts/build-windows.sh "$@" >"$i686_log" 2>&1 &
i686_pid=$!
ctest --test-dir build-windows --output-on-failure -j"$jobs" --timeout 600
if ! wait "$i686_pid"; then
  cat "$i686_log"
  echo "the 32-bit Windows build failed" >&2
  exit 1
fi
tail -n 2 "$i686_log"
rm -f "$i686_log"
stage "all tests passed"
printf '%s' "$stage_times"
echo "  in all: $SECONDS s"
