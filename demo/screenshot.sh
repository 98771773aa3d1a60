#!/usr/bin/env bash
# Screenshots of the installer's real window under Xvfb, for review.
#
#   demo/screenshot.sh OUTDIR [--build-dir DIR] [--transfer-seconds S]
#
# Starts Xvfb on a free display, the demo server with every download paced to last about S
# seconds (default 6), and the staged installer in /passive mode, and saves into OUTDIR:
#   01-inicio.png      the start panel, before the start phase begins
#   02-pacote.png      the start panel's bar while the database package downloads
#   03-download.png    the download step's bar while the product archive downloads
#   04-instalacao.png  the install step while the product is extracted
#   05-concluido.png   the finished window; /passive ends the program at once, so this one
#                      needs xdotool: a second run in the plain window, its buttons clicked
# The installer must be built already (demo/run.sh builds it). Everything this script starts
# is stopped by its pid.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

usage() {
    sed -n '2,15s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
}

out=""
build_dir="$demo_root/build"
seconds=6
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir)
            [ $# -ge 2 ] || { echo "screenshot.sh: --build-dir needs a folder" >&2; exit 2; }
            build_dir=$2
            shift
            ;;
        --transfer-seconds)
            [ $# -ge 2 ] || { echo "screenshot.sh: --transfer-seconds needs a value" >&2; exit 2; }
            seconds=$2
            shift
            ;;
        -h | --help) usage; exit 0 ;;
        -*) echo "screenshot.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
        *) out=$1 ;;
    esac
    shift
done
[ -n "$out" ] || { usage >&2; exit 2; }
for tool in Xvfb import; do
    command -v "$tool" >/dev/null ||
        { echo "screenshot.sh: $tool is missing (packages xvfb, imagemagick)" >&2; exit 1; }
done
installer="$build_dir/src/app/instalador"
[ -x "$installer" ] || { echo "screenshot.sh: no installer at $installer" >&2; exit 1; }
demo_settings "$build_dir" || exit 1
mkdir -p "$out"
out=$(cd "$out" && pwd)

payload_windows=()
if [ -f "$build_dir/demo/windows/kelvoranX.exe" ] && [ -f "$build_dir/demo/windows/component.dll" ]; then
    payload_windows=(--windows "$build_dir/demo/windows")
fi
"$demo_python" "$demo_dir/make_payload.py" "$demo_payload" "${payload_windows[@]}" >/dev/null
package_size=$(stat -c %s "$demo_payload/mysql.zip")
product_size=$(stat -c %s "$demo_payload/kelvoranx.zip")
run_dir=$(demo_run_dir)
demo_runtime_dir "$run_dir"
stage="$run_dir/stage"
demo_stage "$stage" "$installer"
user=${USER:-$(id -un)}
export USER="$user"
demo_use_wine_stand_in_if_needed

xvfb_pid=""
server_pid=""
installer_pid=""
cleanup() {
    demo_stop "$installer_pid"
    demo_stop "$server_pid"
    demo_stop "$xvfb_pid"
}
trap cleanup EXIT

# --- display and server -----------------------------------------------------------------------
display=""
for n in $(seq 97 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
done
[ -n "$display" ] || { echo "screenshot.sh: no free X display between :97 and :140" >&2; exit 1; }
Xvfb ":$display" -screen 0 1366x768x24 -nolisten tcp >"$run_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$run_dir/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$display"
demo_start_server "$run_dir/server.log" --transfer-seconds "$seconds" \
    --pidfile "$run_dir/server.pid" || exit 1
echo "display $DISPLAY, demo server on 127.0.0.1:$server_port, run folder $run_dir"

# --- helpers ----------------------------------------------------------------------------------
shot() {
    import -window root "$out/$1"
    echo "  $1 ($2)"
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false on timeout or when the
# installer has ended.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        kill -0 "$installer_pid" 2>/dev/null || return 1
        sleep 0.1
    done
}

# grown_to BYTES COMPONENT...: the file under drive_c holds at least BYTES.
grown_to() {
    local want=$1 file
    shift
    file=$(host_path "$WINEPREFIX/drive_c" "$@") || return 1
    [ "$(stat -c %s "$file")" -ge "$want" ]
}

present() { host_path "$WINEPREFIX/drive_c" "$@" >/dev/null; }

# The start phase is over once the package has been unpacked and deleted.
package_set_up() {
    present Quorimetra Install mysql.bat && ! present Quorimetra Install mysql.zip
}

start_installer() {
    local log=$1
    shift
    (cd "$stage" && exec "${demo_installer_env[@]}" ./instalador "$@") >"$log" 2>&1 &
    installer_pid=$!
}

# Waits up to SECONDS for the installer to end; prints its exit code.
installer_exit() {
    local deadline=$((SECONDS + $1)) status=0
    while kill -0 "$installer_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.2
    done
    if kill -0 "$installer_pid" 2>/dev/null; then
        demo_stop "$installer_pid"
        installer_pid=""
        echo "timeout"
        return
    fi
    wait "$installer_pid" || status=$?
    installer_pid=""
    echo "$status"
}

# --- the passive run --------------------------------------------------------------------------
export WINEPREFIX="$run_dir/prefix-passive"
demo_prefix "$WINEPREFIX" "$user"
echo "== /passive run"
start_installer "$run_dir/passive.log" /passive
sleep 2.5
shot 01-inicio.png "start panel"
if wait_for 60 grown_to $((package_size * 2 / 5)) Quorimetra Install mysql.zip; then
    shot 02-pacote.png "database package download"
else
    echo "  (no database package transfer seen)"
fi
if wait_for 90 grown_to $((product_size * 2 / 5)) Quorimetra Install kelvoranX.zip; then
    shot 03-download.png "product archive download"
else
    echo "  (no product archive transfer seen)"
fi
if wait_for 90 present Quorimetra Kelvoran kelvoranX.exe; then
    shot 04-instalacao.png "extraction"
else
    echo "  (no extraction seen)"
fi
echo "/passive exit code: $(installer_exit 120) (log $run_dir/passive.log)"

# --- the finished window, with xdotool --------------------------------------------------------
if ! command -v xdotool >/dev/null; then
    echo "  (05-concluido.png skipped: xdotool is not installed)"
    exit 0
fi
export WINEPREFIX="$run_dir/prefix-window"
demo_prefix "$WINEPREFIX" "$user"
echo "== window run, clicked by xdotool"
start_installer "$run_dir/window.log"
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$installer_pid" 2>/dev/null |
    head -n 1) || true
if [ -z "$window" ]; then
    echo "  (05-concluido.png skipped: the installer's window did not appear)"
    exit 0
fi
# Button centres in window pixels: the steps panel's top plus each picture-button's centre,
# from the layout in twips (15 twips a pixel).
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
if wait_for 90 package_set_up; then
    sleep 1
    click 545 228  # "Baixar arquivos"
fi
if wait_for 120 grown_to "$product_size" Quorimetra Install kelvoranX.zip; then
    sleep 1.5
    click 889 228  # "Iniciar Instalação"
fi
if wait_for 90 present users "$user" Desktop "kelvoran X.lnk"; then
    sleep 2
    shot 05-concluido.png "finished window"
else
    echo "  (05-concluido.png skipped: the install did not finish; log $run_dir/window.log)"
fi
