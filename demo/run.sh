#!/usr/bin/env bash
# Runs the installer against the demo distribution server, in a throwaway Wine-style prefix.
#
#   demo/run.sh [--interactive|--passive|--quiet] [--build-dir DIR] [--no-build]
#               [--throttle KBPS] [--big-mib N]
#
# Installs the Debian packages it needs (as root), builds the installer, makes the payload,
# stages the installer beside the Dlls folder, has Wine set up a fresh prefix, starts the demo
# FTP server on the address the installer was built with, runs the installer and checks what it
# installed: the connector's set-up, the 24 registrations, and the product started through the
# desktop shortcut. The exit code is the installer's, or 1 when one of those checks fails.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

usage() {
    sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
}

mode=""
build_dir="$demo_root/build"
build=1
throttle=""
big_mib=""
while [ $# -gt 0 ]; do
    case "$1" in
        --interactive | --passive | --quiet) mode=${1#--} ;;
        --build-dir)
            [ $# -ge 2 ] || { echo "run.sh: --build-dir needs a folder" >&2; exit 2; }
            build_dir=$2
            shift
            ;;
        --build-dir=*) build_dir=${1#--build-dir=} ;;
        --no-build) build=0 ;;
        --throttle)
            [ $# -ge 2 ] || { echo "run.sh: --throttle needs KiB per second" >&2; exit 2; }
            throttle=$2
            shift
            ;;
        --big-mib)
            [ $# -ge 2 ] || { echo "run.sh: --big-mib needs a size" >&2; exit 2; }
            big_mib=$2
            shift
            ;;
        -h | --help) usage; exit 0 ;;
        *) echo "run.sh: unknown argument: $1" >&2; usage >&2; exit 2 ;;
    esac
    shift
done
case "$build_dir" in /*) ;; *) build_dir="$(pwd)/$build_dir" ;; esac
run_started=$SECONDS

have_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

if [ -z "$mode" ]; then
    if have_display; then mode=interactive; else mode=quiet; fi
fi

# --- packages ---------------------------------------------------------------------------------
# The project's one list of Debian packages; as another user it names what is missing.
"$(dirname "${BASH_SOURCE[0]}")/../scripts/deps.sh"

# --- build ------------------------------------------------------------------------------------
cache="$build_dir/CMakeCache.txt"
if [ "$build" -eq 1 ]; then
    if grep -q '^INSTALLER_WITH_QT:BOOL=OFF' "$cache" 2>/dev/null; then
        echo "run.sh: $build_dir is configured without Qt; use another --build-dir" >&2
        exit 1
    fi
    # Configured every time: cheap once the cache exists, and it mends a failed earlier try.
    echo "== configuring $build_dir"
    cmake -S "$demo_root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DINSTALLER_WITH_QT=ON
    echo "== building the installer and the demo's Windows programs in $build_dir"
    cmake --build "$build_dir" -j2 --target instalador demo_windows
fi
windows_dir="$build_dir/demo/windows"
if [ -f "$windows_dir/kelvoranX.exe" ] && [ -f "$windows_dir/component.dll" ]; then
    payload_windows=(--windows "$windows_dir")
else
    payload_windows=()
    echo "no MinGW-w64 here (install the package g++-mingw-w64-x86-64-posix): the demo's" \
        "product and components are stand-ins that Wine cannot run"
fi
installer="$build_dir/src/app/instalador"
if [ ! -x "$installer" ]; then
    echo "run.sh: no installer at $installer (build it, or drop --no-build)" >&2
    exit 1
fi

# The server must answer where the installer was built to look, with the password built in.
demo_settings "$build_dir" || exit 1

# --- payload, stage and prefix ----------------------------------------------------------------
echo "== making the payload"
"$demo_python" "$demo_dir/make_payload.py" "$demo_payload" ${big_mib:+--big-mib "$big_mib"} \
    "${payload_windows[@]}"

run_dir=$(demo_run_dir)
demo_runtime_dir "$run_dir"
stage="$run_dir/stage"
prefix="$run_dir/prefix"
user=${USER:-$(id -un)}
demo_stage "$stage" "$installer"
export USER="$user"
echo "stage:  $stage"
echo "prefix: $prefix"
demo_use_wine_stand_in_if_needed
if [ "$demo_wine_stand_in" -eq 1 ]; then
    echo "no Wine here (install the package wine64): the programs the installer starts are" \
        "only recorded, in $prefix/started-programs.log"
else
    echo "== setting up the Wine prefix ($demo_wine wineboot --init)"
fi
demo_prefix "$prefix" "$user" || exit 1
export WINEPREFIX="$prefix"
[ "$demo_wine_stand_in" -eq 1 ] || echo "Wine prefix ready in ${demo_prefix_seconds} s"

# --- server -----------------------------------------------------------------------------------
server_log="$run_dir/server.log"
server_pid=""
trap 'demo_stop "$server_pid"' EXIT
demo_start_server "$server_log" --pidfile "$run_dir/server.pid" \
    ${throttle:+--throttle "$throttle"} || exit 1
echo "== demo FTP server on 127.0.0.1:$server_port (pid $server_pid, log $server_log)"

# --- installer --------------------------------------------------------------------------------
case "$mode" in
    interactive)
        if ! have_display; then
            echo "run.sh: --interactive needs a display (try --quiet, or --passive)" >&2
            exit 1
        fi
        command=("$stage/instalador")
        ;;
    passive)
        command=("$stage/instalador" /passive)
        if ! have_display; then
            if ! command -v xvfb-run >/dev/null; then
                echo "run.sh: --passive needs a display or xvfb-run (package xvfb)" >&2
                exit 1
            fi
            command=(xvfb-run -a -s "-screen 0 1366x768x24" "${command[@]}")
        fi
        ;;
    quiet) command=("$stage/instalador" /quiet) ;;
esac
echo "== running the installer ($mode)"
set +e
(cd "$stage" && "${demo_installer_env[@]}" "${command[@]}")
status=$?
set -e

# --- summary ----------------------------------------------------------------------------------
drive_c="$prefix/drive_c"
echo
echo "== summary"
if product=$(host_path "$drive_c" Quorimetra Kelvoran); then
    count=$(find "$product" -type f | wc -l)
    echo "product folder: $product ($count files)"
    find "$product" -mindepth 1 -maxdepth 1 -printf '  %f%y\n' | sed 's/d$/\//; s/f$//' |
        sort | head -n 8
else
    echo "product folder: not created"
fi
if install=$(host_path "$drive_c" Quorimetra Install); then
    echo "install folder: $(ls -A "$install" | tr '\n' ' ')"
fi
if desktop=$(host_path "$drive_c" users "$user" Desktop) &&
    shortcut=$(host_path "$desktop" "kelvoran X.lnk"); then
    echo "shortcut: $shortcut ($(stat -c %s "$shortcut") bytes)"
    if command -v lnkinfo >/dev/null; then
        lnkinfo "$shortcut" 2>/dev/null |
            grep -iE '^\s*(description|working directory|local path)\s*:' |
            sed 's/^\s*/  /' || true
    fi
else
    echo "shortcut: none on the desktop"
fi
checks_failed=0
if [ "$demo_wine_stand_in" -eq 1 ]; then
    started="$prefix/started-programs.log"
    if [ -f "$started" ]; then
        echo "programs started through the Wine stand-in ($(wc -l <"$started")):"
        sed 's/^/  /' "$started" | sort | head -n 4
        [ "$(wc -l <"$started")" -le 4 ] || echo "  ..."
    fi
    echo "(no Wine: nothing was registered or started for real)"
else
    demo_check_wine_results "$prefix" "$user" || checks_failed=$?
    log=$(host_path "$drive_c" users "$user" Temp instalador-programas.log) || log="none"
    echo "output of the programs the installer started: $log"
fi
elapsed=$((SECONDS - run_started))
echo "run folder: $run_dir (server log: $server_log)"
share=$(echo "100 * $demo_prefix_seconds / ($elapsed + 0.001)" | bc)
echo "time: ${elapsed} s in all, of which Wine's first set-up of the prefix" \
    "${demo_prefix_seconds} s (${share} %)"
echo "installer exit code: $status"
if [ "$status" -eq 0 ] && [ "$checks_failed" -ne 0 ]; then
    echo "checks failed: $checks_failed"
    exit 1
fi
exit "$status"
