#!/usr/bin/env bash
# The whole installation under real Wine: a fresh prefix set up by Wine, the demo server, and
# the installer in /quiet from a folder whose name has blanks and an accent ("Área de Trabalho"),
# with the connector's files beside it (the local road). Then: the connector's set-up ran, the
# 24 components are in the 64-bit folders and their classes registered in the prefix's registry,
# the product starts through the desktop shortcut, no transfer was retried, no child of the
# installer stayed a zombie, and the installer printed nothing on its standard error. Last, the
# same with the components' 32-bit build in a new prefix: they go to syswow64, whose registrar
# cannot run here (no 32-bit Wine), so the run stops with the message naming the first one.
#
#   wine_install.sh INSTALLER WINDOWS_DIR
#
# Exit 77 (skipped) where Wine or the demo's Windows programs are missing. Runs in a network
# namespace of its own where it may, so that the installer's built-in server port is its own;
# everything started here is stopped by its pid, and the prefix's Wine server is ended.
set -euo pipefail

installer=$1
windows_dir=$2
. "$(dirname "${BASH_SOURCE[0]}")/../../demo/lib.sh"

if ! demo_find_wine; then
    echo "skipped: Wine is not installed here (Debian package wine64)"
    exit 77
fi
if [ ! -f "$windows_dir/kelvoranX.exe" ] || [ ! -f "$windows_dir/component.dll" ] ||
    [ ! -f "$windows_dir/component32.dll" ]; then
    echo "skipped: the demo's Windows programs were not built (MinGW-w64 is missing)"
    exit 77
fi

demo_own_loopback "$0" "$@"

work=$(mktemp -d /tmp/kv-e2e-XXXXXX)
server_pid=""
installer_pid=""
cleanup() { demo_end_run "$work" "$installer_pid" "$server_pid"; }
trap cleanup EXIT
demo_wine_env
export USER=${USER:-$(id -un)}
unset DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

build_dir=$(cd "$(dirname "$installer")/../.." && pwd)
demo_settings "$build_dir"
demo_payload="$work/payload"
"$demo_python" "$demo_dir/make_payload.py" "$demo_payload" --windows "$windows_dir" >/dev/null

stage="$work/Área de Trabalho/Instalador KELVORAN"
demo_stage "$stage" "$installer"
unzip -q "$demo_payload/mysql.zip" -d "$stage"

started=$SECONDS
demo_prefix "$work/prefix" "$USER"
echo "Wine set the prefix up in ${demo_prefix_seconds} s"
export WINEPREFIX="$work/prefix"

# Each download paced to a few seconds: the connector's set-up ends while the installer still
# runs, so a child left unreaped would be seen as a zombie.
demo_start_server "$work/server.log" --transfer-seconds 3 --log-commands

failed=0
(cd "$stage" && exec "${demo_installer_env[@]}" ./instalador /quiet) >"$work/out" 2>"$work/err" &
installer_pid=$!
zombies=""
declare -A seen=()
deadline=$((SECONDS + 180))
while kill -0 "$installer_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    # A zombie that stays for ten samples (a second or more) is not being reaped; a busy
    # machine may delay the reaping of one for a moment.
    declare -A now=()
    for pid in $({ ps --ppid "$installer_pid" -o pid=,stat= || true; } | awk '$2 ~ /^Z/ {print $1}'); do
        now[$pid]=$((${seen[$pid]:-0} + 1))
        [ "${now[$pid]}" -ne 10 ] || zombies="$zombies $pid"
    done
    seen=()
    for pid in "${!now[@]}"; do seen[$pid]=${now[$pid]}; done
    unset now
    sleep 0.1
done
if kill -0 "$installer_pid" 2>/dev/null; then
    echo "FAILED: the installer did not end within 180 s"
    exit 1
fi
status=0
wait "$installer_pid" || status=$?
installer_pid=""
sed 's/^/  installer: /' "$work/out"
echo "installer exit code: $status"
[ "$status" -eq 0 ] || failed=$((failed + 1))
if [ -n "${zombies// /}" ]; then
    echo "FAILED: zombie children of the installer:$zombies"
    failed=$((failed + 1))
fi
if [ -s "$work/err" ]; then
    echo "FAILED: the installer's standard error is not empty:"
    sed 's/^/  /' "$work/err"
    failed=$((failed + 1))
fi

checks=0
demo_check_wine_results "$WINEPREFIX" "$USER" || checks=$?
log=$(host_path "$WINEPREFIX/drive_c" users "$USER" Temp instalador-programas.log) || log=""
if [ -z "$log" ] || ! grep -q 'cmd /c Z:.*Área de Trabalho\\Instalador KELVORAN\\mysql.bat' "$log"; then
    echo "FAILED: the log of started programs does not show the batch file from the stage folder"
    failed=$((failed + 1))
fi
demo_check_no_retry "$work/server.log" || failed=$((failed + 1))

# The product's real components are 32-bit: the same stage with their 32-bit build, in a
# fresh prefix (the product is fetched again there).
demo_stage_32bit_components "$work" "$stage" "$windows_dir"
status=0
(cd "$stage" && exec timeout 180 "${demo_installer_env[@]}" ./instalador /quiet) \
    >"$work/out32" 2>&1 || status=$?
sed 's/^/  installer (32-bit components): /' "$work/out32"
demo_check_32bit_refused "$work/out32" "$status" "$WINEPREFIX" || checks=$((checks + $?))
WINEPREFIX="$work/prefix32" "$demo_wineserver" -k 2>/dev/null || true

echo "time: $((SECONDS - started)) s"
[ $((failed + checks)) -eq 0 ] || { echo "FAILED: $((failed + checks)) checks"; exit 1; }
echo "passed"
