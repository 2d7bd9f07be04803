#!/usr/bin/env bash
# Installs the built Debian packages on this machine and checks them in use:
# servermon-headless alone first (its version, one monitoring pass of the
# installed service against a loopback server, no desktop library in its
# dependency closure), then servermon beside it (its version), then purges
# both. Needs root or sudo; meant for a throwaway CI machine. Everything it
# contacts is on 127.0.0.1, and every wait is bounded.
#   tests/install/check-deb.sh BUILD_DEB_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-deb.sh BUILD_DEB_DIR}" && pwd)

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
packages=(servermon servermon-headless)

work=$(mktemp -d)
pids=()
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q ' installed$'; }
present() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -qv '^unknown ok not-installed$'; }
purge() {
    local found=()
    for package in "${packages[@]}"; do
        present "$package" && found+=("$package")
    done
    ((${#found[@]} == 0)) || timeout 300 "${sudo_cmd[@]}" apt-get purge -y -qq "${found[@]}" >/dev/null
}
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    purge || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [[ -s $log ]] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}
only_deb() { # PACKAGE: the one .deb of that package in the build folder
    local debs=("$build/$1"_*.deb)
    [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one $1_*.deb in $build"
    echo "${debs[0]}"
}
apt_install() {
    timeout 600 "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$@" \
        >"$work/apt.log" 2>&1 || fail "apt-get install $*"
}
has_capability() { getcap "$1" 2>/dev/null | grep -q cap_net_raw; }

headless_deb=$(only_deb servermon-headless)
desktop_deb=$(only_deb servermon)
version=$(dpkg-deb -f "$headless_deb" Version)
purge

# The headless package alone.
apt_install "$headless_deb"
installed servermon-headless || fail "servermon-headless is not installed"
! installed servermon || fail "installing servermon-headless brought servermon"
program=/usr/bin/servermon-headless
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY "$program" --version) == "servermon $version" ]] ||
    fail "servermon-headless --version does not say servermon $version"
has_capability "$program" || fail "the post-install script granted $program no cap_net_raw"

# One pass of the installed service against a loopback server that answers
# as the catalogue expects.
timeout 120 python3 -u - >"$work/peer.log" 2>&1 <<'PY' &
import socket
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
print("port", listener.getsockname()[1], flush=True)
while True:
    connection, _ = listener.accept()
    connection.settimeout(5)
    try:
        connection.recv(4096)
        connection.sendall(b"220 ready\r\n")
    except OSError:
        pass
    connection.close()
PY
pids+=($!)
wait_for() { # SECONDS DESCRIPTION COMMAND...: polls until the command succeeds
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.2
    done
}
wait_for 10 "the loopback server" grep -q '^port ' "$work/peer.log"
read -r _ port <"$work/peer.log"
metrics_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

config=$work/config
mkdir -p "$config"
printf 'DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs\n' >"$work/servers.csv"
printf 'loopback,127.0.0.1,%s,HELLO,220,,1,0\n' "$port" >>"$work/servers.csv"
timeout 30 "$program" --config-dir "$config" --import "$work/servers.csv" >"$work/import.log" 2>&1 ||
    fail "servermon-headless --import ended with status $?"

timeout 120 "$program" --config-dir "$config" --metrics "127.0.0.1:$metrics_port" \
    >"$work/service.log" 2>&1 &
service=$!
pids+=("$service")
ok_line=$'\tloopback\t127\\.0\\.0\\.1\t'"$port"$'\t[a-z-]+\tok\t'
wait_for 60 "the server's state to change to ok" grep -qE "$ok_line" "$work/service.log"
metrics=$(timeout 10 python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    "http://127.0.0.1:$metrics_port/metrics") || fail "no metrics from the installed service"
grep -q "^servermon_reply_correct{.*name=\"loopback\".*} 1$" <<<"$metrics" ||
    fail "the metrics show no correct reply: $(grep servermon_reply_correct <<<"$metrics")"
kill -TERM "$service"
wait "$service" || fail "the installed service ended with status $? after SIGTERM"
echo "deb: installed servermon-headless: $(grep -E "$ok_line" "$work/service.log" | head -n 1 | cut -f 2-)"

# Nothing of the desktop comes with the headless package.
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances servermon-headless >"$work/closure.txt" 2>"$work/closure.err" ||
    fail "apt-cache depends servermon-headless"
closure=$(sed -e 's/^.*: //' -e 's/^[[:space:]]*//' -e 's/[<>]//g' "$work/closure.txt" | sort -u)
grep -qx libqt6core6 <<<"$closure" || fail "the dependency closure lacks libqt6core6: nothing was checked"
if desktop=$(grep -xE 'libqt6gui6|libgl1' <<<"$closure"); then
    fail "the dependency closure of servermon-headless holds ${desktop//$'\n'/ }"
fi
echo "deb: servermon-headless's dependency closure: $(wc -l <<<"$closure") packages, no libqt6gui6, no libgl1"

# The desktop package beside it.
apt_install "$desktop_deb"
installed servermon || fail "servermon is not installed"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/servermon --version) == "servermon $version" ]] ||
    fail "servermon --version does not say servermon $version"
has_capability /usr/bin/servermon || fail "the post-install script granted /usr/bin/servermon no cap_net_raw"

purge
for package in "${packages[@]}"; do
    ! present "$package" || fail "$package is still present after the purge"
done
echo "deb: both packages installed, ran and were purged"
