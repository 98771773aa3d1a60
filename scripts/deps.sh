#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need (with "windows", also
# those of the Windows build). As root it installs what is missing; as another user it lists what
# is missing and fails.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev qt6-qpa-plugins libzip-dev libgtest-dev libgmock-dev googletest
  fonts-crosextra-carlito fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool python3 python3-pyftpdlib vsftpd libpam-pwdfile liblnk-utils
  zip unzip curl zlib1g-dev bc iproute2 procps imagemagick
  # The signature check (OpenSSL's libcrypto) and the command line that makes and reads keys.
  libssl-dev openssl
  # Wine runs the programs the installer starts; MinGW-w64 builds the demo's Windows programs.
  wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  # Wine's own fonts: the caption buttons of the windows Wine frames (demo/screenshot-windows.sh).
  fonts-wine
)
# The Windows build (scripts/build-windows.sh): the cross compiler, zlib for it, and Wine to run
# its tests.
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root: apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
