#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 into build-windows/ (instalador.exe and
# kelvoran-ftp.exe, each one file) and, with TEST=1, runs their tests under wine64 in a prefix of
# the build's own (build-windows/wine-prefix). Arguments go to cmake, e.g.
# -DINSTALLER_SERVER=ftp.example.com:21 -DINSTALLER_PASSWORD=...
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}

scripts/deps.sh windows

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DINSTALLER_WERROR=ON "$@" >/dev/null
cmake --build build-windows -j"$jobs"
if [ "${TEST:-0}" = 1 ]; then
  ctest --test-dir build-windows --output-on-failure -j"$jobs" --timeout 600
fi
ls -l build-windows/instalador.exe build-windows/kelvoran-ftp.exe
