#!/usr/bin/env bash
# Screenshots of the Windows program's window (instalador.exe under wine64) in Xvfb, for review.
#
#   demo/screenshot-windows.sh OUTDIR [--build-dir DIR] [--transfer-seconds S]
#
# DIR is the Windows build (default build-windows, see scripts/build-windows.sh). Starts Xvfb on
# a free display and the demo server with every download paced to last about S seconds
# (default 6). The run gets a fresh Wine prefix whose Calibri and Arial are Carlito and
# Liberation Sans and whose windows Wine frames itself (there is no window manager). Saves into
# OUTDIR:
#   01-inicio.png      the start panel, before the start phase begins
#   02-pacote.png      the start panel's bar while the database package downloads
#   03-download.png    the download step's bar while the product archive downloads
#   04-instalacao.png  the install step while the product is extracted
#   05-concluido.png   the finished window
# The program runs in its plain window (/passive ends it as soon as it has finished), its
# buttons clicked by xdotool.
# Everything this script starts is stopped by its pid, and the prefix's Wine server is ended.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

usage() {
    sed -n '2,18s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
}

out=""
build_dir="$demo_root/build-windows"
seconds=6
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir)
            [ $# -ge 2 ] || { echo "screenshot-windows.sh: --build-dir needs a folder" >&2; exit 2; }
            build_dir=$2
            shift
            ;;
        --transfer-seconds)
            [ $# -ge 2 ] ||
                { echo "screenshot-windows.sh: --transfer-seconds needs a value" >&2; exit 2; }
            seconds=$2
            shift
            ;;
        -h | --help) usage; exit 0 ;;
        -*) echo "screenshot-windows.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
        *) out=$1 ;;
    esac
    shift
done
[ -n "$out" ] || { usage >&2; exit 2; }
for tool in Xvfb import xdotool; do
    command -v "$tool" >/dev/null || {
        echo "screenshot-windows.sh: $tool is missing (packages xvfb, imagemagick, xdotool)" >&2
        exit 1
    }
done
demo_find_wine || { echo "screenshot-windows.sh: Wine is missing (package wine64)" >&2; exit 1; }
installer="$build_dir/instalador.exe"
windows_dir="$build_dir/demo/windows"
[ -f "$installer" ] || { echo "screenshot-windows.sh: no program at $installer" >&2; exit 1; }
[ -f "$windows_dir/kelvoranX.exe" ] && [ -f "$windows_dir/component.dll" ] || {
    echo "screenshot-windows.sh: no demo programs in $windows_dir (build the targets" \
        "demo_kelvoranX and demo_component)" >&2
    exit 1
}
demo_settings "$build_dir" || exit 1
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$demo_python" "$demo_dir/make_payload.py" "$demo_payload" --windows "$windows_dir" >/dev/null
package_size=$(stat -c %s "$demo_payload/mysql.zip")
product_size=$(stat -c %s "$demo_payload/kelvoranx.zip")
run_dir=$(demo_run_dir)
stage="$run_dir/Instalador KELVORAN"
mkdir -p "$stage"
cp "$installer" "$stage/instalador.exe"
cp -r "$demo_payload/Dlls" "$stage/Dlls"
user=${USER:-$(id -un)}
export USER="$user"
demo_wine_env

xvfb_pid=""
server_pid=""
installer_pid=""
prefixes=()
cleanup() {
    demo_stop "$installer_pid"
    local prefix
    for prefix in "${prefixes[@]}"; do
        WINEPREFIX="$prefix" "$demo_wineserver" -k 2>/dev/null || true
    done
    demo_stop "$server_pid"
    demo_stop "$xvfb_pid"
}
trap cleanup EXIT

# --- display and server -----------------------------------------------------------------------
display=""
for n in $(seq 97 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
done
[ -n "$display" ] ||
    { echo "screenshot-windows.sh: no free X display between :97 and :140" >&2; exit 1; }
Xvfb ":$display" -screen 0 1366x768x24 -nolisten tcp >"$run_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$run_dir/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
demo_start_server "$run_dir/server.log" --transfer-seconds "$seconds" \
    --pidfile "$run_dir/server.pid" || exit 1
echo "display :$display, demo server on 127.0.0.1:$server_port, run folder $run_dir"

# --- helpers ----------------------------------------------------------------------------------
shot() {
    DISPLAY=":$display" import -window root "$out/$1"
    echo "  $1 ($2)"
}

# A fresh prefix (set up without a display) with the window's fonts mapped to the metric
# equivalents installed here, and windows framed by Wine.
fresh_prefix() {
    export WINEPREFIX=$1
    prefixes+=("$WINEPREFIX")
    demo_prefix "$WINEPREFIX" "$user"
    local row name font
    for row in "Calibri|Carlito" "Calibri Light|Carlito" "Arial|Liberation Sans" \
        "Verdana|DejaVu Sans"; do
        IFS='|' read -r name font <<<"$row"
        timeout 60 "$demo_wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" \
            /d "$font" /f >/dev/null 2>&1
    done
    timeout 60 "$demo_wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f \
        >/dev/null 2>&1
    # The frame's buttons are glyphs of Wine's Marlett (package fonts-wine).
    local marlett=/usr/share/wine/fonts/marlett.ttf fonts
    if [ -f "$marlett" ] && fonts=$(host_path "$WINEPREFIX/drive_c" windows Fonts); then
        cp "$marlett" "$fonts/"
    fi
    timeout 120 "$demo_wineserver" -w || true
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false on timeout or when the
# program has ended.
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
    (cd "$stage" && exec env DISPLAY=":$display" "${demo_installer_env[@]}" "$demo_wine" \
        instalador.exe "$@") >"$log" 2>&1 &
    installer_pid=$!
}

# Waits up to SECONDS for the program to end; prints its exit code.
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

# The program's top-level window (Wine gives it the process's pid), within 30 s.
find_window() {
    DISPLAY=":$display" timeout 30 xdotool search --sync --onlyvisible --name \
        '^Instalador KELVORAN' 2>/dev/null | head -n 1
}

# --- one run in the plain window, its buttons clicked by xdotool -------------------------------
fresh_prefix "$run_dir/prefix"
start_installer "$run_dir/installer.log"
window=$(find_window) || true
[ -n "$window" ] || { echo "screenshot-windows.sh: the program's window did not appear" >&2; exit 1; }
sleep 2
shot 01-inicio.png "start panel"
if wait_for 60 grown_to $((package_size * 2 / 5)) Quorimetra Install mysql.zip; then
    shot 02-pacote.png "database package download"
else
    echo "  (no database package transfer seen)"
fi
# Wine's frame surrounds the client area (the form's 1104x506 pixels) evenly but for the
# caption on top; button centres are the steps panel's top plus each picture-button's centre,
# from the layout in twips (15 twips a pixel).
eval "$(DISPLAY=":$display" xdotool getwindowgeometry --shell "$window")"
frame_x=$(((WIDTH - 1104) / 2))
frame_y=$((HEIGHT - 506 - frame_x))
click() {
    DISPLAY=":$display" xdotool mousemove --window "$window" $(($1 + frame_x)) \
        $(($2 + frame_y)) click 1
}
if wait_for 90 package_set_up; then
    sleep 1
    click 545 228 # "Baixar arquivos"
fi
if wait_for 90 grown_to $((product_size * 2 / 5)) Quorimetra Install kelvoranX.zip; then
    shot 03-download.png "product archive download"
else
    echo "  (no product archive transfer seen)"
fi
if wait_for 180 grown_to "$product_size" Quorimetra Install kelvoranX.zip; then
    sleep 1.5
    click 889 228 # "Iniciar Instalação"
fi
if wait_for 90 present Quorimetra Kelvoran kelvoranX.exe; then
    shot 04-instalacao.png "extraction"
else
    echo "  (no extraction seen)"
fi
if wait_for 90 present users "$user" Desktop "kelvoran X.lnk"; then
    sleep 2
    shot 05-concluido.png "finished window"
else
    echo "  (05-concluido.png skipped: the install did not finish; log $run_dir/installer.log)"
fi
