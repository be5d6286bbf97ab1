#!/usr/bin/env bash
# The Debian packages as an administrator meets them (root, Debian 12):
#   1. built from a tree without tests (build-deb/, -DBUILD_TESTING=OFF), as the README says;
#   2. lintian -I -E --pedantic: no error, no warning;
#   3. the gateway's and mx7300-ctl's dependency closures hold no GUI library (the console's
#      does: the same check must find it there);
#   4. installed with apt-get; the unit verifies and its exposure is 2.0 or lower;
#   5. the gateway started as the unit starts it (user switch, credentials directory, the options
#      file's environment) reads a root-only 0600 token through its credential;
#   6. apt-get remove leaves no site enabled, apt-get purge leaves nothing behind.
# Systemd need not run: the unit's own lines are followed by hand where it would act.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
build="$here/build-deb"
jobs=${JOBS:-2}
started=$SECONDS
unit_file=/lib/systemd/system/mx7300-gateway@.service
site=ci-packages
packages=(tavo-mx7300-control tavo-mx7300-tools tavo-mx7300-gateway)
# Libraries and packages that only a display needs.
gui='^(libqt6gui6|libqt6widgets6|libqt6opengl6|qt6-qpa-plugins|libx11-6|libxcb1|libwayland-client0|libgl1|libegl1|libopengl0|libglx0|libfontconfig1|fonts-ipafont-gothic)$'

step() { printf '\n=== %s (at %ds)\n' "$1" "$((SECONDS - started))"; }
fail() {
    echo "package-checks: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "needs root (it installs and removes the packages)"

gateway_pid=
cleanup() {
    [ -n "$gateway_pid" ] && kill "$gateway_pid" 2>/dev/null
    rm -f "/etc/tavo/$site.ini" "/etc/tavo/$site.token" "/etc/default/mx7300-gateway-$site"
    rm -rf "${creds:-}" "${scratch:-}"
    dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
}
trap cleanup EXIT

# What of ours is on the system: files and links named after the programs or packages.
our_files() {
    find /etc /usr /var/lib -path "$here" -prune -o -print 2>/dev/null | grep -E 'mx7300|tavo' |
        sort || true
}

build_packages() {
    step "packages from a tree without tests (build-deb)"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DTAVO_GATEWAY=ON -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
    cmake --build "$build" -j "$jobs"
    rm -f "$build"/tavo-mx7300-*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    for p in "${packages[@]}"; do
        deb=$(echo "$build/${p}_"*.deb)
        [ -f "$deb" ] || fail "no package $p"
        debs+=("$deb")
    done
    ls -l "${debs[@]}"
}

run_lintian() {
    step "lintian -I -E --pedantic"
    local out status
    for deb in "${debs[@]}"; do
        # A failing lintian run counts as much as a tag: it must check, and find nothing to fault.
        status=0
        out=$(lintian -I -E --pedantic --fail-on error,warning "$deb" 2>&1) || status=$?
        printf '%s\n' "${out:-(nothing to report) $deb}"
        if [ "$status" != 0 ] || grep -qE '^[EW]: ' <<<"$out"; then
            fail "lintian found errors or warnings in $deb (status $status)"
        fi
    done
}

# gui_closure DEB: the GUI packages among everything DEB depends on, recursively.
gui_closure() {
    local depends names
    depends=$(dpkg-deb -f "$1" Depends)
    names=$(tr ',|' '\n' <<<"$depends" | sed -E 's/\(.*\)//; s/:any//; s/ //g' | grep -v '^$')
    # shellcheck disable=SC2086 # one argument per package name
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances $names | grep -v '^ ' | tr -d '<>' | sort -u |
        grep -E "$gui" || true
}

check_closures() {
    step "dependency closures"
    local found
    for deb in "${debs[@]}"; do
        dpkg-deb -f "$deb" Package Depends
    done
    for deb in "${debs[@]:1}"; do
        found=$(gui_closure "$deb")
        [ -z "$found" ] || fail "$(basename "$deb") pulls in GUI packages: ${found//$'\n'/ }"
        echo "no GUI package in the closure of $(basename "$deb")"
    done
    # The console needs them: a closure check that did not see them would see nothing.
    found=$(gui_closure "${debs[0]}")
    grep -qx libqt6gui6 <<<"$found" || fail "the GUI check did not find libqt6gui6 in the console's closure"
}

install_packages() {
    step "apt-get install the packages"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >/dev/null
    dpkg-query -W "${packages[@]}"
    for f in /etc/default/mx7300-gateway /etc/tavo/example.ini; do
        [ -f "$f" ] || fail "no $f"
    done
    mx7300-gateway --site /etc/tavo/example.ini --check
}

check_unit() {
    step "systemd-analyze verify and security"
    local copy exposure
    # The template verified as an instance, by the name systemd would load it under.
    copy="$scratch/mx7300-gateway@$site.service"
    cp "$unit_file" "$copy"
    systemd-analyze verify "$copy"
    exposure=$(systemd-analyze security --offline=yes "$copy" |
        sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [ -n "$exposure" ] || fail "no exposure level from systemd-analyze security"
    echo "exposure $exposure"
    awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "exposure $exposure is above 2.0"
}

# unit_lines KEY: the template's values of KEY, %i replaced by the site.
unit_lines() {
    sed -n "s/^$1=//p" "$unit_file" | sed "s/%i/$site/g"
}

# start_as_unit USER: the unit's ExecStart as that user, with the credentials directory and the
# environment files the unit names. Sets gateway_pid.
start_as_unit() {
    local user=$1 id path line exec_start env_files
    creds=$(mktemp -d)
    while IFS=: read -r id path; do
        [ -f "$path" ] && install -m 0400 -o "$user" "$path" "$creds/$id"
    done < <(unit_lines LoadCredential)
    # SetCredential= values stand in for missing files (C escapes, as systemd reads them).
    while IFS=: read -r id line; do
        [ -e "$creds/$id" ] || printf '%b' "$line" | install -m 0400 -o "$user" /dev/stdin "$creds/$id"
    done < <(unit_lines SetCredential)
    chown "$user" "$creds"
    chmod 0700 "$creds"
    exec_start=$(unit_lines ExecStart)
    mapfile -t env_files < <(unit_lines EnvironmentFile | sed 's/^-//')
    # The environment files as systemd reads them (KEY="value" lines), later ones winning.
    # shellcheck disable=SC2016 # expanded by the inner shell
    setpriv --reuid="$user" --regid=nogroup --groups=dialout --no-new-privs --inh-caps=-all \
        --bounding-set=-all env -i PATH=/usr/bin:/bin CREDENTIALS_DIRECTORY="$creds" \
        bash -c 'set -a; for f in "$@"; do [ -f "$f" ] && . "$f"; done; set +a
                 exec '"$exec_start" \
        environment "${env_files[@]}" >"$scratch/gateway.log" 2>&1 &
    gateway_pid=$!
}

# http_status URL TOKEN: the status of a POST with that bearer token.
http_status() {
    python3 - "$1" "$2" <<'EOF'
import sys, urllib.request, urllib.error
request = urllib.request.Request(sys.argv[1], data=b"on", method="POST",
                                 headers={"Authorization": "Bearer " + sys.argv[2]})
try:
    print(urllib.request.urlopen(request, timeout=10).status)
except urllib.error.HTTPError as e:
    print(e.code)
EOF
}

check_credentials() {
    step "a root-only token through the unit's credential"
    local user=nobody port token status
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    token=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
    printf '[hall]\nport=tcp://127.0.0.1:9\nroom=ci\n' >"/etc/tavo/$site.ini"
    (umask 077 && printf '%s\n' "$token" >"/etc/tavo/$site.token")
    ls -l "/etc/tavo/$site.token"
    # The premise: the service's user cannot read the file itself.
    if setpriv --reuid="$user" --regid=nogroup --init-groups cat "/etc/tavo/$site.token" >/dev/null 2>&1; then
        fail "$user can read the 0600 token file: the check below would prove nothing"
    fi

    # No front at all: refused at once with status 2, which the unit does not restart.
    echo 'GATEWAY_OPTIONS=""' >"/etc/default/mx7300-gateway-$site"
    start_as_unit "$user"
    status=0
    timeout 10 tail --pid="$gateway_pid" -f /dev/null || status=timeout
    [ "$status" = 0 ] && { wait "$gateway_pid" || status=$?; }
    [ "$status" = 2 ] || fail "without a front the gateway ended with $status, not 2: $(cat "$scratch/gateway.log")"
    echo "no front: exit status 2 ($(tail -n 1 "$scratch/gateway.log"))"
    gateway_pid=
    rm -rf "$creds"

    echo "GATEWAY_OPTIONS=\"--http 127.0.0.1:$port --http-token-file token\"" \
        >"/etc/default/mx7300-gateway-$site"
    start_as_unit "$user"
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
        kill -0 "$gateway_pid" 2>/dev/null || fail "the gateway ended: $(cat "$scratch/gateway.log")"
        sleep 0.1
    done
    status=$(http_status "http://127.0.0.1:$port/api/projectors/nosuch/power" wrong-token)
    [ "$status" = 401 ] || fail "a wrong token gave $status, not 401"
    status=$(http_status "http://127.0.0.1:$port/api/projectors/nosuch/power" "$token")
    [ "$status" = 404 ] || fail "the token gave $status, not 404 (accepted, no such projector)"
    echo "token through the credential: accepted (404 for an unknown projector), a wrong one 401"

    # `systemctl reload` runs the unit's ExecReload= with the service's main PID: one added
    # section is then served without a restart.
    printf '[annex]\nport=tcp://127.0.0.1:9\nroom=ci\n' >>"/etc/tavo/$site.ini"
    MAINPID=$gateway_pid bash -c "exec $(unit_lines ExecReload)"
    local listed=
    for _ in $(seq 50); do
        listed=$(python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
            "http://127.0.0.1:$port/api/projectors" 2>/dev/null) || true
        grep -q '"annex"' <<<"$listed" && break
        sleep 0.1
    done
    grep -q '"annex"' <<<"$listed" || fail "ExecReload= did not bring in the added section: $listed $(cat "$scratch/gateway.log")"
    kill -0 "$gateway_pid" 2>/dev/null || fail "the gateway ended on ExecReload=: $(cat "$scratch/gateway.log")"
    grep -F 'reload: site' "$scratch/gateway.log" || fail "no reload line in the log"
    kill "$gateway_pid"
    wait "$gateway_pid" || fail "the gateway did not end cleanly on SIGTERM: $(cat "$scratch/gateway.log")"
    gateway_pid=
}

check_remove_and_purge() {
    step "apt-get remove, then purge"
    local left
    systemctl enable "mx7300-gateway@$site.service"
    [ -n "$(find /etc/systemd/system -name "mx7300-gateway@$site.service")" ] ||
        fail "systemctl enable made no link"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tavo-mx7300-gateway >/dev/null
    left=$(find /etc/systemd/system -name 'mx7300-gateway@*')
    [ -z "$left" ] || fail "enabled after removal: $left"
    echo "nothing enabled after apt-get remove"
    # What the administrator made goes first; then nothing of the packages may stay.
    rm -f "/etc/tavo/$site.ini" "/etc/tavo/$site.token" "/etc/default/mx7300-gateway-$site"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${packages[@]}" >/dev/null
    left=$(comm -13 "$scratch/before" <(our_files))
    [ -z "$left" ] || fail "left after purge: $left"
    echo "nothing left after apt-get purge"
}

debs=()
scratch=$(mktemp -d)
build_packages
run_lintian
check_closures
our_files >"$scratch/before"
install_packages
check_unit
check_credentials
check_remove_and_purge
step "all package checks passed"
