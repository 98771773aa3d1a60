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
fuzz_seconds=${FUZZ_SECONDS:-20}

scripts/deps.sh windows

echo "== formatting (clang-format)"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== build (release with debug info)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINSTALLER_WERROR=ON "$@" >/dev/null
cmake --build build -j"$jobs"
echo "== tests"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DINSTALLER_SANITIZE=ON \
      -DINSTALLER_WITH_QT=OFF -DINSTALLER_WERROR=ON "$@" >/dev/null
cmake --build build-asan -j"$jobs"
echo "== tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900

echo "== fuzz targets (${fuzz_seconds} s each)"
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DINSTALLER_FUZZ=ON -DINSTALLER_WITH_QT=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
for target in build-fuzz/tests/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  corpus=$(mktemp -d)
  echo "-- $(basename "$target")"
  "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
echo "== Windows build (MinGW-w64) and its tests under wine64"
TEST=1 JOBS="$jobs" scripts/build-windows.sh "$@"
echo "== all tests passed"
