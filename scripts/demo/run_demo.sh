#!/usr/bin/env bash
# The demo: Permscope on sample folders whose access lists name the groups of a small sample
# organisation, kept in a private directory (slapd on 127.0.0.1). Nothing outside a temporary
# folder is touched, and everything started here is stopped again at the end.
#
#   scripts/demo/run_demo.sh [BUILD_DIR]
#
# With a display the window opens there and the demo ends when it is closed. Without one
# ($DISPLAY and $WAYLAND_DISPLAY empty) it runs on a virtual screen (Xvfb), writes a screenshot
# of the filled window to $PERMSCOPE_DEMO_SCREENSHOT (default: BUILD_DIR/permscope-demo.png) and
# ends.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
program=$build_dir/app/permscope
screenshot=${PERMSCOPE_DEMO_SCREENSHOT:-$build_dir/permscope-demo.png}
suffix="dc=permscope,dc=demo"

say() { printf 'demo: %s\n' "$*" >&2; }

[ -x "$program" ] || { say "no program at $program (build first: scripts/build.sh)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/permscope-demo.XXXXXX")
started_pids=()
stop_all() {
    local pid
    for pid in "${started_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${started_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The private directory: the tests' AD-like schema and configuration, the sample organisation.
start_directory() {
    mkdir -p "$work/ldap/db"
    sed -e "s|@DIR@|$work/ldap|g" -e "s|@SCHEMA_DIR@|$source_dir/testbed/slapd|g" \
        -e "s|@SUFFIX@|$suffix|g" "$source_dir/testbed/slapd/slapd.conf.in" \
        >"$work/ldap/slapd.conf"
    python3 "$source_dir/testbed/organisation.py" "$suffix" >"$work/ldap/organisation.ldif"
    slapadd -q -f "$work/ldap/slapd.conf" -l "$work/ldap/organisation.ldif" \
        >"$work/ldap/slapadd.log" 2>&1 || { cat "$work/ldap/slapadd.log" >&2; exit 1; }

    ldap_port=$(free_port)
    /usr/sbin/slapd -f "$work/ldap/slapd.conf" -h "ldap://127.0.0.1:$ldap_port/" -d 0 \
        >"$work/ldap/slapd.log" 2>&1 &
    started_pids+=($!)
    local tries
    for tries in $(seq 100); do
        if ldapsearch -x -LLL -H "ldap://127.0.0.1:$ldap_port" -b "$suffix" -s base dn \
            >/dev/null 2>&1; then
            say "private directory $suffix at ldap://127.0.0.1:$ldap_port"
            return
        fi
        sleep 0.1
    done
    say "the private directory did not start:"
    cat "$work/ldap/slapd.log" >&2
    exit 1
}

# One sample folder: mode bits, then the named entries of its ACL.
sample_folder() {
    local folder=$1 mode=$2 acl=$3
    mkdir -p "$folder"
    chmod "$mode" "$folder"
    setfacl -m "$acl" "$folder"
}

# Sample folders under Firma/Daten, the folder Permscope opens with.
make_folders() {
    daten=$work/Firma/Daten
    mkdir -p "$daten"
    local acl="u:daemon:-w-,u:sys:rw-,g:adm:rwx,g:staff:r--"
    # The owning group is users where that can be arranged, else users is named like the others.
    if chgrp users "$daten" 2>/dev/null; then
        sample_folder "$daten" 0750 "$acl"
    else
        sample_folder "$daten" 0700 "$acl,g:users:r-x"
    fi
    sample_folder "$daten/Projekte" 0700 "g:staff:rwx,g:video:r-x,u:daemon:r--"
    sample_folder "$daten/Vertrieb" 0700 "g:users:rwx,g:plugdev:r--,g:adm:r-x"
    sample_folder "$daten/Lager" 0700 "g:dialout:rw-,g:cdrom:r-x"
    sample_folder "$daten/Archiv" 0755 "u:backup:r-x,g:adm:r--"
    say "sample folders in $work/Firma"
}

# libldap finds the private directory through its own variables; no Kerberos realm or ticket
# comes before it.
point_at_directory() {
    export LDAPURI="ldap://127.0.0.1:$ldap_port"
    export LDAPBASE=$suffix
    export KRB5_CONFIG=/dev/null
    export KRB5CCNAME="FILE:$work/no-ticket"
    local first
    first=$("$build_dir/app/permscope-domain-check" --list | head -n 1)
    if [ "$first" != "permscope.demo" ]; then
        say "note: this machine reports the domain '$first' first (SSSD or Samba); Permscope"
        say "asks that one, so the demo's groups may not be expanded."
    fi
}

window_is_shown() {
    xwininfo -root -children 2>/dev/null | grep -q '"Permscope"'
}

run_on_virtual_screen() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" \
        >"$work/xvfb.log" 2>&1 &
    started_pids+=($!)
    local tries
    for tries in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || { say "Xvfb did not start"; cat "$work/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$(head -n 1 "$work/display")"

    (cd "$daten" && exec "$program") >"$work/permscope.log" 2>&1 &
    local permscope_pid=$!
    started_pids+=($permscope_pid)
    for tries in $(seq 300); do
        window_is_shown && break
        kill -0 "$permscope_pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! window_is_shown; then
        say "the window did not appear:"
        cat "$work/permscope.log" >&2
        exit 1
    fi
    # The first read runs right after the window is shown; give it time to fill the lists.
    sleep 3
    mkdir -p "$(dirname "$screenshot")"
    # The window alone, as a software centre shows it: the screen cut to the window's place.
    local geometry
    geometry=$(xwininfo -name Permscope | awk '/Absolute upper-left X/ { x = $4 }
        /Absolute upper-left Y/ { y = $4 } /Width:/ { w = $2 } /Height:/ { h = $2 }
        END { print w "x" h "+" x "+" y }')
    import -window root -crop "$geometry" +repage "$screenshot"
    say "screenshot of the filled window: $screenshot"
}

start_directory
make_folders
point_at_directory
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    say "opening Permscope in $daten; close its window to end the demo"
    (cd "$daten" && "$program")
else
    run_on_virtual_screen
fi
