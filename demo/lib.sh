# Shared by run.sh and screenshot.sh (sourced, not run): the demo's settings, its throwaway
# stage and prefix, the demo server, and Windows-style lookups in the prefix.

demo_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
demo_root=$(cd "$demo_dir/.." && pwd)
demo_python=/usr/bin/python3
demo_payload="$demo_dir/payload"

# The value of a cache variable: demo_cache_value CACHE NAME.
demo_cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1" 2>/dev/null | head -n 1
}

# Reads the server address, user and password the installer in BUILD_DIR was built with, into
# server_port, ftp_user and ftp_password, and exports KELVORAN_SIGNING_KEY, the build's demo
# signing key, for make_payload.py. Fails when the address is not the loopback one.
demo_settings() {
    local cache="$1/CMakeCache.txt" setting host
    setting=$(demo_cache_value "$cache" INSTALLER_SERVER)
    setting=${setting:-127.0.0.1:2121}
    ftp_user=$(demo_cache_value "$cache" INSTALLER_USER)
    ftp_user=${ftp_user:-kelvoran}
    ftp_password=$(demo_cache_value "$cache" INSTALLER_PASSWORD)
    ftp_password=${ftp_password:-Kv7q2Rm9Xa}
    # The build's demo key pair (cmake/signing_key.cmake): make_payload.py signs with it.
    if [ -f "$1/demo-key/signing-key.pem" ]; then
        export KELVORAN_SIGNING_KEY="$1/demo-key/signing-key.pem"
    fi
    host=${setting%%:*}
    server_port=21
    [ "$host" = "$setting" ] || server_port=${setting##*:}
    [ "$server_port" = 0 ] && server_port=21
    case "$host" in
        127.0.0.1 | localhost) return 0 ;;
    esac
    echo "the installer was built for the server $setting, but the demo server only listens" \
        "on 127.0.0.1 (reconfigure with -DINSTALLER_SERVER=127.0.0.1:2121)" >&2
    return 1
}

# A fresh run folder under demo/run/, printed.
demo_run_dir() {
    local dir
    dir="$demo_dir/run/$(date +%Y%m%d-%H%M%S)"
    [ -e "$dir" ] && dir="$dir-$$"
    mkdir -p "$dir"
    printf '%s\n' "$dir"
}

# Qt wants a private runtime folder; without a session there is none, so give it one.
demo_runtime_dir() {
    [ -z "${XDG_RUNTIME_DIR:-}" ] || return 0
    mkdir -p -m 700 "$1/runtime"
    export XDG_RUNTIME_DIR="$1/runtime"
}

# The installer's own folder: the program and the Dlls folder only. Without the connector files
# beside it, the installer fetches the database package from the server.
demo_stage() {
    local stage=$1 installer=$2
    mkdir -p "$stage"
    cp "$installer" "$stage/instalador"
    rm -rf "$stage/Dlls"
    cp -r "$demo_payload/Dlls" "$stage/Dlls"
}

# Wine, when installed: sets demo_wine (the loader) and demo_wineserver, or leaves them empty.
demo_find_wine() {
    demo_wine=$(command -v wine64 || command -v wine || true)
    [ -n "$demo_wine" ] || [ ! -x /usr/lib/wine/wine64 ] || demo_wine=/usr/lib/wine/wine64
    demo_wineserver=$(command -v wineserver || true)
    [ -n "$demo_wineserver" ] || [ ! -x /usr/lib/wine/wineserver ] ||
        demo_wineserver=/usr/lib/wine/wineserver
    [ -n "$demo_wine" ] && [ -n "$demo_wineserver" ]
}

# Quiet Wine that asks for nothing: no debug channels, no Mono or Gecko downloads, no menu
# entries written into the user's home.
demo_wine_env() {
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
}

# A fresh workstation's prefix: set up by Wine (wineboot, waited for, with no display so that no
# Wine window shows) when Wine is installed, with nothing added by hand but the desktop folder in
# place of Wine's link to the home folder; else only the folders a workstation has. Sets
# demo_prefix_seconds to the set-up's time.
demo_prefix() {
    local prefix=$1 user=$2 started
    demo_prefix_seconds=0
    mkdir -p "$prefix"
    if [ -n "${demo_wine:-}" ]; then
        started=$(date +%s.%N)
        if ! WINEPREFIX="$prefix" timeout 300 env -u DISPLAY -u WAYLAND_DISPLAY \
            "$demo_wine" wineboot --init >"$prefix/wineboot.log" 2>&1; then
            echo "Wine could not set up the prefix $prefix (log: $prefix/wineboot.log)" >&2
            return 1
        fi
        demo_prefix_without_components "$prefix"
        WINEPREFIX="$prefix" timeout 120 "$demo_wineserver" -w || true
        demo_prefix_seconds=$(printf '%.1f' "$(echo "$(date +%s.%N) - $started" | bc)")
        # Wine links the desktop to the home folder; the demo's shortcut stays in the prefix.
        local desktop="$prefix/drive_c/users/$user/Desktop"
        if [ -L "$desktop" ]; then
            rm "$desktop"
        fi
    fi
    demo_mkdir "$prefix" drive_c users "$user" Desktop
    [ -z "${demo_wine:-}" ] || return 0
    demo_mkdir "$prefix" drive_c windows System32
    # The registrar Wine keeps there, which the installer starts by full path; the stand-in
    # only records the start.
    : >"$prefix/drive_c/windows/System32/regsvr32.exe"
    demo_mkdir "$prefix" drive_c users "$user" Temp
    demo_mkdir "$prefix" drive_c "Program Files" "Common Files"
}

# Wine's prefix brings libraries of its own under some of the components' names (riched32.dll):
# the demo's workstation lacks every component, so the installer deploys and registers all of
# them, and Wine is told to load the deployed library rather than its built-in one.
demo_prefix_without_components() {
    local prefix=$1 row root rest registered file name
    for row in "${demo_components[@]}"; do
        IFS='|' read -r root rest registered <<<"$row"
        [ "$root" = windir ] || continue
        local parts=()
        IFS=/ read -r -a parts <<<"$rest"
        file=$(host_path "$prefix/drive_c" windows "${parts[@]}") || continue
        rm -f "$file"
        name=${rest##*/}
        name=$(tr 'A-Z' 'a-z' <<<"${name%.[Dd][Ll][Ll]}")
        WINEPREFIX="$prefix" timeout 60 "$demo_wine" reg add 'HKCU\Software\Wine\DllOverrides' \
            /v "$name" /d native /f >/dev/null 2>&1 || return 1
    done
}

# Makes the folder BASE/comp1/comp2/..., each component matched first without regard to case
# against what exists, as Windows names are (Wine's "system32" is the installer's "System32").
demo_mkdir() {
    local path=$1 part next
    shift
    for part in "$@"; do
        next=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit 2>/dev/null)
        if [ -z "$next" ]; then
            next="$path/$part"
            mkdir "$next"
        fi
        path=$next
    done
}

# The 26 shared components, as the installer deploys them: destination root variable, path
# under it, and whether regsvr32 registers it.
demo_components=(
    "windir|System32/COMDLG32.OCX|yes" "windir|System32/htsecurit.ocx|yes"
    "windir|System32/msado26.tlb|yes" "windir|System32/mscomct2.ocx|yes"
    "windir|System32/MSCOMCTL.OCX|yes" "windir|System32/MSDBRPT.DLL|yes"
    "windir|System32/MSDBRPT.SRG|no" "windir|System32/MSDBRPTR.DEP|no"
    "windir|System32/MSDBRPTR.DLL|yes" "windir|System32/MSFLXGRD.OCX|yes"
    "windir|System32/MSMASK32.OCX|yes" "windir|System32/MSO.DLL|yes"
    "windir|System32/MSPPT.OLB|yes" "windir|System32/msstdfmt.dll|yes"
    "windir|System32/RICHED32.DLL|yes" "windir|System32/RICHTX32.OCX|yes"
    "windir|System32/TABCTL32.OCX|yes" "windir|System32/THREED32.OCX|yes"
    "windir|System32/VB5DB.DLL|yes" "windir|MSJET35.DLL|yes" "windir|MSJINT35.DLL|yes"
    "windir|MSJTER35.DLL|yes" "windir|MSRD2X35.DLL|yes" "windir|msvbvm60.DLL|yes"
    "windir|VB6STKIT.DLL|yes"
    "CommonProgramFiles|microsoft shared/DAO/DAO350.DLL|yes"
)

# The registered in-process servers of the prefix: one line "<file name>|<path>" for each
# HKCR\CLSID\{...}\InprocServer32 whose class is one of the demo's components (CLSIDs that
# begin with 4B76726E).
demo_registered_servers() {
    timeout 120 "$demo_wine" reg query 'HKCR\CLSID' /s 2>/dev/null | tr -d '\r' | awk '
        /^HKEY_/ { ours = toupper($0) ~ /\\CLSID\\\{4B76726E-[^}]*\}\\INPROCSERVER32$/; next }
        ours && $1 == "(Default)" {
            path = $0; sub(/^[^R]*REG_SZ[ \t]*/, "", path)
            name = path; sub(/^.*\\/, "", name)
            print name "|" path
        }'
}

# Checks what a run with real Wine left in PREFIX for USER and prints one line per check;
# returns the number of checks that failed. Waits (with bounds) for the connector's set-up,
# looks for the components in the folders of their KIND (64: system32 and Program Files; 32:
# syswow64 and Program Files (x86)) and for their classes' registrations, then starts the
# product through the desktop shortcut with /smoke.
demo_check_wine_results() {
    local prefix=$1 user=$2 kind=${3:-64} failed=0 drive_c row root rest registered host found
    drive_c="$prefix/drive_c"
    export WINEPREFIX="$prefix"
    local system_folder=system32 common="Program Files/Common Files"
    if [ "$kind" = 32 ]; then
        system_folder=syswow64
        common="Program Files (x86)/Common Files"
    fi

    local marker="" waited=0
    while [ "$waited" -lt 600 ]; do
        marker=$(host_path "$drive_c" Quorimetra Install conector_instalado.txt) && break
        sleep 0.1
        waited=$((waited + 1))
    done
    if [ -n "$marker" ]; then
        echo "connector set-up ran: $(tr -d '\r' <"$marker" | iconv -f CP1252 -t UTF-8)"
    else
        echo "connector set-up: FAILED, no conector_instalado.txt after 60 s"
        failed=$((failed + 1))
    fi

    timeout 120 "$demo_wineserver" -w || echo "(Wine still busy after 120 s)"
    local servers
    servers=$(demo_registered_servers)
    local placed=0 wanted=0 found_keys=0 missing_files="" missing_keys="" windows_path
    for row in "${demo_components[@]}"; do
        IFS='|' read -r root rest registered <<<"$row"
        # The two data files are no program images: the installer puts them where 32-bit
        # programs look, whatever the kind of the others.
        if [ "$registered" = no ] && [ -n "$(ls -d "$drive_c"/windows/[Ss]ys[Ww][Oo][Ww]64 2>/dev/null)" ]; then
            rest=${rest/#System32\//syswow64/}
        else
            rest=${rest/#System32\//$system_folder/}
        fi
        if [ "$root" = windir ]; then host="windows"; else host="$common"; fi
        local parts=()
        IFS=/ read -r -a parts <<<"$host/$rest"
        if host_path "$drive_c" "${parts[@]}" >/dev/null; then
            placed=$((placed + 1))
        else
            missing_files="$missing_files ${rest##*/}"
        fi
        [ "$registered" = yes ] || continue
        wanted=$((wanted + 1))
        # The class's server must be the file where it was put.
        windows_path="C:\\${host//\//\\}\\${rest//\//\\}"
        if grep -qixF "${rest##*/}|$windows_path" <<<"$servers"; then
            found_keys=$((found_keys + 1))
        else
            missing_keys="$missing_keys ${rest##*/}"
        fi
    done
    echo "components in C:\\windows\\$system_folder, C:\\windows and $common: $placed of ${#demo_components[@]}${missing_files:+, missing:$missing_files}"
    echo "classes registered in HKCR\\CLSID, served from those files: $found_keys of $wanted${missing_keys:+, missing:$missing_keys}"
    [ "$placed" -eq "${#demo_components[@]}" ] || failed=$((failed + 1))
    [ "$found_keys" -eq "$wanted" ] || failed=$((failed + 1))

    local shortcut smoke
    if shortcut=$(host_path "$drive_c" users "$user" Desktop "kelvoran X.lnk"); then
        timeout 60 "$demo_wine" start /wait /unix "$shortcut" /smoke >/dev/null 2>&1 || true
        timeout 60 "$demo_wineserver" -w || true
    fi
    if [ -z "${shortcut:-}" ]; then
        echo "product started through the shortcut: FAILED, no kelvoran X.lnk on the desktop"
        failed=$((failed + 1))
    elif smoke=$(host_path "$drive_c" Quorimetra Kelvoran kelvoranX-smoke.txt); then
        echo "product started through the shortcut: yes ($(tr -d '\r' <"$smoke"))"
    else
        echo "product started through the shortcut: FAILED, no kelvoranX-smoke.txt"
        failed=$((failed + 1))
    fi
    return "$failed"
}

# The environment the installer runs in: the Windows-style variables stay unset so the
# prefix's own folders are used.
demo_installer_env=(env -u TEMP -u Temp -u temp -u TMP -u WINDIR -u windir
    -u CommonProgramFiles -u COMMONPROGRAMFILES)

# Without Wine, the programs the installer starts (mysql.bat, regsvr32) cannot run, and a
# component whose registration cannot be started stops the deployment. The stand-in in no-wine/
# records each start in $WINEPREFIX/started-programs.log instead; it is used only where Wine is
# not installed. Sets demo_wine_stand_in, and demo_wine and demo_wineserver where Wine is.
demo_use_wine_stand_in_if_needed() {
    demo_wine_stand_in=0
    if demo_find_wine; then
        demo_wine_env
        return 0
    fi
    demo_wine_stand_in=1
    export PATH="$demo_dir/no-wine:$PATH"
}

# Starts server.py in the background with the given arguments, its output in LOG, and waits
# until it accepts connections on server_port. Sets server_pid.
demo_start_server() {
    local log=$1
    shift
    "$demo_python" "$demo_dir/server.py" --port "$server_port" --root "$demo_payload" \
        --user "$ftp_user" --password "$ftp_password" "$@" >"$log" 2>&1 &
    server_pid=$!
    local _
    for _ in $(seq 1 100); do
        grep -q 'ready on' "$log" 2>/dev/null && break
        if ! kill -0 "$server_pid" 2>/dev/null; then
            if grep -q 'already in use' "$log"; then
                echo "port $server_port on 127.0.0.1 is taken; stop whatever listens there" \
                    "(an earlier demo server?) and try again" >&2
            else
                echo "the demo server did not start:" >&2
                cat "$log" >&2
            fi
            return 1
        fi
        sleep 0.1
    done
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$server_port") 2>/dev/null; then
        echo "the demo server does not accept connections on 127.0.0.1:$server_port" >&2
        return 1
    fi
}

# Ends a process this script started, by its pid, and reaps it.
demo_stop() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}

# Host path of a path under BASE whose components are matched without regard to case, as
# Windows names are: host_path BASE comp1 comp2 ...
host_path() {
    local path=$1 part next
    shift
    for part in "$@"; do
        next=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit 2>/dev/null)
        [ -n "$next" ] || return 1
        path=$next
    done
    printf '%s\n' "$path"
}

# Runs the calling script again in a network namespace of its own with its loopback up, where
# the machine allows one, so that the installer's built-in server port cannot clash with
# another run on this machine: demo_own_loopback SCRIPT ARGS... (returns only where it cannot).
demo_own_loopback() {
    if [ -z "${E2E_IN_NAMESPACE:-}" ] && unshare --net true 2>/dev/null; then
        export E2E_IN_NAMESPACE=1
        exec unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$@"
    fi
}

# The end of an end-to-end run: stops the processes given by pid, ends the Wine server of the
# prefix in WORK/prefix and removes WORK: demo_end_run WORK PID...
demo_end_run() {
    local work=$1 pid
    shift
    for pid in "$@"; do demo_stop "$pid"; done
    [ ! -d "$work/prefix" ] || WINEPREFIX="$work/prefix" "$demo_wineserver" -k 2>/dev/null || true
    rm -rf "$work"
}


# Fails (prints and returns 1) when a file was fetched more than once in the server's LOG (one
# written with --log-commands): a transfer that needed a retry. Prints each file's count.
demo_check_no_retry() {
    local log=$1 counts
    counts=$(sed -n 's/.*<- RETR \(.*\)$/\1/p' "$log" | tr -d '\r' | sort | uniq -c)
    echo "files fetched:$(awk '{printf " %s (%s)", $2, $1}' <<<"$counts")"
    if awk '$1 > 1 { found = 1 } END { exit !found }' <<<"$counts"; then
        echo "FAILED: a transfer was retried"
        return 1
    fi
}

# The road of 32-bit components in a 64-bit prefix whose Wine has no 32-bit side: the first one
# copied into syswow64 (none into system32), its registrar cannot start, and the run ends with
# the message that names it, exit code 1 and no success. OUT is what /quiet printed, STATUS its
# exit code; prints one line per check and returns the number that failed.
demo_check_32bit_refused() {
    local out=$1 status=$2 prefix=$3 failed=0
    local drive_c="$prefix/drive_c"
    local message='Ocorreu um erro na instalação: 53 - O registrador C:\windows\syswow64\regsvr32.exe não pôde ser iniciado para registrar C:\windows\syswow64\COMDLG32.OCX'
    echo "32-bit components: exit code $status"
    [ "$status" -eq 1 ] || { echo "FAILED: exit code $status, not 1"; failed=$((failed + 1)); }
    tr -d '\r' <"$out" | grep -qiF "$message" ||
        { echo "FAILED: no message naming the first component's registrar"; failed=$((failed + 1)); }
    ! grep -q 'Programa instalado com sucesso!' "$out" ||
        { echo "FAILED: the run says it installed"; failed=$((failed + 1)); }
    host_path "$drive_c" windows syswow64 COMDLG32.OCX >/dev/null ||
        { echo "FAILED: COMDLG32.OCX is not in syswow64"; failed=$((failed + 1)); }
    local in_system32=0 row root rest registered
    for row in "${demo_components[@]}"; do
        IFS='|' read -r root rest registered <<<"$row"
        case "$rest" in System32/*) ;; *) continue ;; esac
        ! host_path "$drive_c" windows system32 "${rest#System32/}" >/dev/null ||
            in_system32=$((in_system32 + 1))
    done
    echo "32-bit components in system32: $in_system32"
    [ "$in_system32" -eq 0 ] || failed=$((failed + 1))
    return "$failed"
}

# The second part of an end-to-end run: the stage's Dlls replaced by the components' 32-bit
# build (from the demo's WINDOWS_DIR), the first prefix's Wine ended, and a fresh prefix in
# WORK/prefix32 set up and exported: demo_stage_32bit_components WORK STAGE WINDOWS_DIR.
demo_stage_32bit_components() {
    local work=$1 stage=$2 windows_dir=$3
    "$demo_python" "$demo_dir/make_payload.py" "$work/payload32" --windows "$windows_dir" \
        --components-32 >/dev/null
    rm -rf "$stage/Dlls"
    cp -r "$work/payload32/Dlls" "$stage/Dlls"
    WINEPREFIX="$work/prefix" "$demo_wineserver" -k 2>/dev/null || true
    demo_prefix "$work/prefix32" "$USER"
    export WINEPREFIX="$work/prefix32"
}
