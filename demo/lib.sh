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
# server_port, ftp_user and ftp_password. Fails when the address is not the loopback one.
demo_settings() {
    local cache="$1/CMakeCache.txt" setting host
    setting=$(demo_cache_value "$cache" INSTALLER_SERVER)
    setting=${setting:-127.0.0.1:2121}
    ftp_user=$(demo_cache_value "$cache" INSTALLER_USER)
    ftp_user=${ftp_user:-kelvoran}
    ftp_password=$(demo_cache_value "$cache" INSTALLER_PASSWORD)
    ftp_password=${ftp_password:-Kv7q2Rm9Xa}
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

# A Wine-style prefix of a workstation that already has the database engine's shared folder.
demo_prefix() {
    local prefix=$1 user=$2
    mkdir -p "$prefix/drive_c/windows/System32" \
        "$prefix/drive_c/users/$user/Desktop" "$prefix/drive_c/users/$user/Temp" \
        "$prefix/drive_c/Program Files/Common Files/microsoft shared/DAO"
}

# The environment the installer runs in: the Windows-style variables stay unset so the
# prefix's own folders are used.
demo_installer_env=(env -u TEMP -u Temp -u temp -u TMP -u WINDIR -u windir
    -u CommonProgramFiles -u COMMONPROGRAMFILES)

# Without Wine, the programs the installer starts (mysql.bat, regsvr32) cannot run, and a
# component whose registration cannot be started stops the deployment. The stand-in in no-wine/
# records each start in $WINEPREFIX/started-programs.log instead. Sets demo_wine_stand_in.
demo_use_wine_stand_in_if_needed() {
    demo_wine_stand_in=0
    if command -v wine >/dev/null || command -v wine64 >/dev/null ||
        [ -x /usr/lib/wine/wine64 ]; then
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
