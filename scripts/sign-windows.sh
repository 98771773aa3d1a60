#!/usr/bin/env bash
# Signs Windows programs with Authenticode (SHA-256) in place, with Debian's osslsigncode: the
# certificate and its key in a PKCS#12 file, its password in SIGN_PASSWORD (handed over through
# a pipe, never on a command line), and an RFC 3161 timestamp when SIGN_TIMESTAMP_URL is set.
#
#   SIGN_PASSWORD=... [SIGN_TIMESTAMP_URL=http://...] scripts/sign-windows.sh CERT.pfx FILE.exe...
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: SIGN_PASSWORD=... scripts/sign-windows.sh CERT.pfx FILE.exe..." >&2
  exit 2
fi
certificate=$1
shift
[ -r "$certificate" ] || { echo "sign-windows.sh: cannot read $certificate" >&2; exit 2; }
timestamp=()
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$SIGN_TIMESTAMP_URL")
fi
for program in "$@"; do
  signed="$program.signed"
  rm -f "$signed"
  printf '%s' "${SIGN_PASSWORD:-}" |
    osslsigncode sign -pkcs12 "$certificate" -readpass - -h sha256 \
      -n "Instalador KELVORAN" -i "https://www.quorimetra.com.br" "${timestamp[@]}" \
      -in "$program" -out "$signed" >/dev/null
  mv "$signed" "$program"
  echo "signed $program"
done
