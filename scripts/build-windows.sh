#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 into build-windows/ (instalador.exe and
# kelvoran-ftp.exe, each one file) and, with TEST=1, runs their tests under wine64 in a prefix of
# the build's own (build-windows/wine-prefix). With ARCH=i686 it builds the 32-bit programs into
# build-windows-i686/ instead (for 32-bit Windows); they cannot run here, so TEST does not apply.
# With "--sign CERT.pfx" (its password in SIGN_PASSWORD) both programs are signed with
# Authenticode, SHA-256, and timestamped when "--timestamp URL" is given too
# (scripts/sign-windows.sh). Other arguments go to cmake, e.g.
# -DINSTALLER_SERVER=ftp.example.com:21 -DINSTALLER_PASSWORD=...
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
arch=${ARCH:-x86_64}

certificate=""
timestamp_url=""
cmake_arguments=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sign)
      [ $# -ge 2 ] || { echo "build-windows.sh: --sign needs a certificate file" >&2; exit 2; }
      certificate=$(realpath "$2")
      shift 2
      ;;
    --timestamp)
      [ $# -ge 2 ] || { echo "build-windows.sh: --timestamp needs a URL" >&2; exit 2; }
      timestamp_url=$2
      shift 2
      ;;
    *)
      cmake_arguments+=("$1")
      shift
      ;;
  esac
done

scripts/deps.sh windows

case "$arch" in
  x86_64)
    build=build-windows
    targets=()
    ;;
  i686)
    build=build-windows-i686
    targets=(--target instalador kelvoran-ftp)
    ;;
  *)
    echo "build-windows.sh: ARCH must be x86_64 or i686, not $arch" >&2
    exit 2
    ;;
esac

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
      -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DINSTALLER_WERROR=ON "${cmake_arguments[@]}" >/dev/null
cmake --build "$build" -j"$jobs" "${targets[@]}"
if [ "${TEST:-0}" = 1 ] && [ "$arch" = x86_64 ]; then
  ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 600
fi
if [ -n "$certificate" ]; then
  SIGN_TIMESTAMP_URL=$timestamp_url scripts/sign-windows.sh "$certificate" \
    "$build/instalador.exe" "$build/kelvoran-ftp.exe"
fi
ls -l "$build/instalador.exe" "$build/kelvoran-ftp.exe"
