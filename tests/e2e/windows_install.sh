#!/usr/bin/env bash
# The Windows program end to end under wine64: a fresh prefix set up by Wine, the demo server on
# loopback, and instalador.exe /quiet from a folder whose name has blanks and an accent ("Área de
# Trabalho\Instalador KELVORAN") with only the program and its Dlls folder,
# so that both downloads (the database package and the product) go through Wine's own WinINet.
# A wininet.dll and a regsvr32.exe planted beside it must not run; the log in %TEMP% holds
# what was printed.
# Then: exit code 0, the product's files, the connector's set-up, the components in the system
# folders of their kind and their classes registered, the desktop shortcut read back by lnkinfo
# and started, and no transfer retried. Then the same program with the server down: exit code 1
# and the failure's status text. Last, the components' 32-bit build in a new prefix: they go to
# syswow64, whose registrar cannot run here (no 32-bit Wine), so the run stops with the message
# naming the first one.
#
#   windows_install.sh INSTALLER_EXE WINDOWS_BUILD_DIR
#
# Exit 77 (skipped) where Wine is missing. Runs in a network namespace of its own where it may;
# everything started here is stopped by its pid, and the prefix's Wine server is ended.
set -euo pipefail

installer=$1
build_dir=$2
windows_dir="$build_dir/demo/windows"
. "$(dirname "${BASH_SOURCE[0]}")/../../demo/lib.sh"

if ! demo_find_wine; then
    echo "skipped: Wine is not installed here (Debian package wine64)"
    exit 77
fi

demo_own_loopback "$0" "$@"

work=$(mktemp -d /tmp/kv-win-e2e-XXXXXX)
server_pid=""
cleanup() { demo_end_run "$work" "$server_pid"; }
trap cleanup EXIT
demo_wine_env
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wininet=n,b"
export USER=${USER:-$(id -un)}
unset DISPLAY WAYLAND_DISPLAY

demo_settings "$build_dir"
demo_payload="$work/payload"
"$demo_python" "$demo_dir/make_payload.py" "$demo_payload" --windows "$windows_dir" >/dev/null

stage="$work/Área de Trabalho/Instalador KELVORAN"
mkdir -p "$stage"
cp "$installer" "$stage/instalador.exe"
cp -r "$demo_payload/Dlls" "$stage/Dlls"
# What another user could have put in the folder of a downloaded installer; neither may run.
# Wine prefers its own wininet.dll to one found beside a program, unless told otherwise: told
# here, it looks for it as Windows does, where the program's folder comes first.
cp "$build_dir/planted/wininet.dll" "$build_dir/planted/regsvr32.exe" "$stage/"

started=$SECONDS
demo_prefix "$work/prefix" "$USER"
echo "Wine set the prefix up in ${demo_prefix_seconds} s"
export WINEPREFIX="$work/prefix"
drive_c="$WINEPREFIX/drive_c"

# Runs the installer in /quiet from the stage folder, at most 180 s; sets status.
run_installer() {
    status=0
    (cd "$stage" && exec timeout 180 "${demo_installer_env[@]}" "$demo_wine" instalador.exe \
        /quiet) >"$work/out" 2>"$work/err" || status=$?
    tr -d '\r' <"$work/out" | sed 's/^/  installer: /'
    [ ! -s "$work/err" ] || sed 's/^/  standard error: /' "$work/err"
    echo "installer exit code: $status"
}

failed=0
fail() {
    echo "FAILED: $*"
    failed=$((failed + 1))
}

demo_start_server "$work/server.log" --log-commands
run_installer
[ "$status" -eq 0 ] || fail "exit code $status, not 0"
grep -q 'Programa instalado com sucesso!' "$work/out" || fail "no success line"

product_files=0
if product=$(host_path "$drive_c" Quorimetra Kelvoran); then
    product_files=$(find "$product" -type f | wc -l)
fi
echo "product files in C:\\Quorimetra\\Kelvoran: $product_files"
host_path "$drive_c" Quorimetra Kelvoran kelvoranX.exe >/dev/null || fail "no kelvoranX.exe"

checks=0
demo_check_wine_results "$WINEPREFIX" "$USER" || checks=$?

if shortcut=$(host_path "$drive_c" users "$USER" Desktop "kelvoran X.lnk"); then
    info=$(lnkinfo "$shortcut" 2>&1 || true)
    grep -iE '^\s*(description|working directory|local path|command line arguments)\s*:' \
        <<<"$info" | sed 's/^\s*/  shortcut: /' || true
    grep -qiE 'local path\s*:\s*C:\\Quorimetra\\Kelvoran\\kelvoranX\.exe' <<<"$info" ||
        fail "the shortcut does not point at C:\\Quorimetra\\Kelvoran\\kelvoranX.exe"
    grep -qiE 'working directory\s*:\s*C:\\Quorimetra\\Kelvoran' <<<"$info" ||
        fail "the shortcut's working folder is not C:\\Quorimetra\\Kelvoran"
fi

echo "FTP commands the server received (Wine's WinINet):"
grep -E '(<-|->) ' "$work/server.log" | sed -E 's/^\[[^]]*\] //' |
    sed 's/^/  /' | head -n 40 || true

demo_check_no_retry "$work/server.log" || failed=$((failed + 1))

# The log in %TEMP%: what the run printed, each component and the exit code.
if run_log=$(host_path "$drive_c" users "$USER" Temp instalador.log); then
    sed 's/^/  log: /' "$run_log"
    cmp -s <(tr -d '\r' <"$work/out") "$run_log" || fail "the log differs from what was printed"
    grep -q ' Código de saída: 0$' "$run_log" || fail "the log has no exit code 0"
else
    fail "no instalador.log in the Temp folder"
fi

for planted in wininet.dll regsvr32.exe; do
    [ ! -e "$stage/$planted.ran" ] || fail "the $planted planted beside the installer ran"
done

# The server down: the same program fails with its status text and exit code 1.
demo_stop "$server_pid"
server_pid=""
run_installer
[ "$status" -eq 1 ] || fail "with the server down: exit code $status, not 1"
grep -q 'sem conexão, tente mais tarde' "$work/out" ||
    fail "with the server down: no \"sem conexão, tente mais tarde\""

# The product's real components are 32-bit: the same stage with their 32-bit build, in a
# fresh prefix (the product is fetched again there).
demo_stage_32bit_components "$work" "$stage" "$windows_dir"
demo_start_server "$work/server32.log"
run_installer
demo_check_32bit_refused "$work/out" "$status" "$WINEPREFIX" || checks=$((checks + $?))
demo_stop "$server_pid"
server_pid=""
WINEPREFIX="$work/prefix32" "$demo_wineserver" -k 2>/dev/null || true

echo "time: $((SECONDS - started)) s"
[ $((failed + checks)) -eq 0 ] || { echo "FAILED: $((failed + checks)) checks"; exit 1; }
echo "passed"
