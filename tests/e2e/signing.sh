#!/usr/bin/env bash
# Authenticode signing of the Windows programs (scripts/sign-windows.sh, which build-windows.sh
# runs with --sign): a code-signing certificate made here with openssl, a copy of the program
# signed with it (twice, as a rebuild that did not relink would), and the signature checked by
# osslsigncode against that certificate: SHA-256, verified, one signature. A wrong password
# signs nothing.
#
#   signing.sh PROGRAM_EXE
#
# Exit 77 (skipped) where osslsigncode or openssl is missing.
set -euo pipefail
program=$1
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d /tmp/kv-signing-XXXXXX)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -subj "/CN=Quorimetra Sistemas (teste)" -days 2 -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout pass:senha-de-teste
cp "$program" "$work/program.exe"

failed=0
fail() {
  echo "FAILED: $*"
  failed=$((failed + 1))
}

if SIGN_PASSWORD=wrong "$root/scripts/sign-windows.sh" "$work/cert.pfx" "$work/program.exe" \
     >/dev/null 2>&1; then
  fail "signed with a wrong password"
fi
cmp -s "$program" "$work/program.exe" || fail "a failed signing changed the program"

for round in 1 2; do
  SIGN_PASSWORD=senha-de-teste "$root/scripts/sign-windows.sh" "$work/cert.pfx" \
    "$work/program.exe" || fail "signing round $round"
done
verify=$(osslsigncode verify -in "$work/program.exe" -CAfile "$work/cert.pem" 2>&1) ||
  fail "osslsigncode verify: $verify"
grep -E 'digest algorithm' <<<"$verify" | sed 's/^\s*/  /'
grep -qE 'Message digest algorithm\s*:\s*SHA256' <<<"$verify" || fail "not SHA-256"
grep -q 'Signature verification: ok' <<<"$verify" || fail "signature not verified"
grep -q 'Number of verified signatures: 1' <<<"$verify" || fail "not exactly one signature"

[ "$failed" -eq 0 ] || { echo "FAILED: $failed checks"; exit 1; }
echo "passed"
