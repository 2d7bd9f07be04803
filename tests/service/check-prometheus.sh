#!/usr/bin/env bash
# A real Prometheus scrapes the headless service: the service monitors a
# temporary catalogue of loopback peers with its metrics on a free loopback
# port, promtool checks the exposition, and Prometheus (both from Debian's
# package, unpacked, never installed) scrapes it until its HTTP API shows
# every server with the right values. Everything runs on 127.0.0.1 and ends
# with the script; it fails after 60 s of waiting.
#   tests/service/check-prometheus.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-prometheus.sh BUILD_DIR}" && pwd)
program=$build/servermon
[[ -x $program ]] || { echo "FAIL: $program not built" >&2; exit 1; }
started=$SECONDS

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
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

# The package is downloaded once per build folder.
cache=$build/prometheus-deb
mkdir -p "$cache"
deb=$(find "$cache" -name 'prometheus_*.deb' -print -quit)
if [[ -z $deb ]]; then
    if ! apt-cache show prometheus >/dev/null 2>&1; then
        sudo_cmd=()
        [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
        "${sudo_cmd[@]}" apt-get update -qq || fail "apt-get update failed; no package lists"
    fi
    # As root apt would fetch as its own user, who cannot write the cache.
    sandbox=()
    [[ $(id -u) -ne 0 ]] || sandbox=(-o APT::Sandbox::User=root)
    (cd "$cache" && timeout 300 apt-get download -qq "${sandbox[@]}" prometheus) ||
        fail "apt-get download prometheus"
    deb=$(find "$cache" -name 'prometheus_*.deb' -print -quit)
fi
dpkg-deb -x "$deb" "$work/prometheus"
promtool=$work/prometheus/usr/bin/promtool
prometheus=$work/prometheus/usr/bin/prometheus
[[ -x $promtool && -x $prometheus ]] || fail "the package holds no promtool and prometheus"

deadline=$((SECONDS + 60))
wait_for() { # DESCRIPTION COMMAND...: polls until the command succeeds
    local what=$1
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.2
    done
}
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Three peers: one answers as expected, one does not, one answers HTTP; a
# fourth port refuses.
python3 -u - >"$work/peers.log" 2>&1 <<'PY' &
import socket, threading
def serve(listener, reply):
    while True:
        connection, _ = listener.accept()
        connection.recv(4096)
        connection.sendall(reply)
        connection.close()
ports = []
for reply in (b"220 ready\r\n", b"500 no\r\n", b"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nOK"):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    ports.append(listener.getsockname()[1])
    threading.Thread(target=serve, args=(listener, reply), daemon=True).start()
print("ports", *ports, flush=True)
threading.Event().wait()
PY
pids+=($!)
wait_for "the peers" grep -q '^ports ' "$work/peers.log"
read -r _ good_port wrong_port http_port <"$work/peers.log"
refused_port=$(free_port)

# The first start creates the catalogue; the servers go in while it is stopped.
config=$work/config
"$program" --headless --config-dir "$config" >"$work/first.log" 2>&1 &
first=$!
wait_for "the first start" grep -q $'\tstart\t' "$work/first.log"
kill -TERM "$first"
wait "$first" || fail "the first start ended with status $?"
python3 - "$config/ServerList.db" "$good_port" "$wrong_port" "$refused_port" "$http_port" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for name, port in (('good "one" \\ here', sys.argv[2]), ("wrong", sys.argv[3]), ("refused", sys.argv[4])):
    db.execute("insert into ServerList (DisplayName, IPAddress, Port, PostData, ReplyData, AddTime, InUse)"
               " values (?, '127.0.0.1', ?, 'HELLO', '220', '', 1)", (name, port))
db.execute("insert into ServerList (DisplayName, IPAddress, Port, PostData, ReplyData, AddTime, InUse,"
           " CheckKind, Url) values ('web', '127.0.0.1', ?, '', 'OK', '', 1, 'http', ?)",
           (sys.argv[5], "http://127.0.0.1:%s/" % sys.argv[5]))
db.commit()
PY
printf '[SETTING]\nITIMERN=2\n' >"$config/RodOdazuConfig.ini"

metrics_port=$(free_port)
"$program" --headless --config-dir "$config" --metrics "$metrics_port" >"$work/service.log" 2>&1 &
pids+=($!)
metrics_url=http://127.0.0.1:$metrics_port/metrics
fetch() { python3 -c 'import sys, urllib.request; sys.stdout.buffer.write(urllib.request.urlopen(sys.argv[1], timeout=5).read())' "$@"; }
has_refused_error() { fetch "$metrics_url" | grep -q 'name="refused".*kind="error"} [1-9]'; }
has_http_status() { fetch "$metrics_url" | grep -q '^servermon_http_status_code{.*name="web".*} 200$'; }
wait_for "the first pass's results" has_refused_error
wait_for "the HTTP check's results" has_http_status
fetch "$metrics_url" >"$work/metrics.txt"
"$promtool" check metrics <"$work/metrics.txt" >"$work/promtool.log" 2>&1 || fail "promtool check metrics"

prometheus_port=$(free_port)
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: servermon
    static_configs:
      - targets: ['127.0.0.1:$metrics_port']
YML
"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)

# Every server with the values its peer gives: the good one replies
# correctly, the wrong one does not, the refused one counts socket errors.
query() {
    python3 - "http://127.0.0.1:$prometheus_port/api/v1/query" "$1" <<'PY'
import json, sys, urllib.parse, urllib.request
url = sys.argv[1] + "?" + urllib.parse.urlencode({"query": sys.argv[2]})
result = json.load(urllib.request.urlopen(url, timeout=5))["data"]["result"]
for series in result:
    print(series["metric"].get("name", ""), series["value"][1], sep="\t")
PY
}
expect() { # QUERY EXPECTED-LINES
    [[ $(query "$1" | sort) == "$2" ]]
}
wait_for "every server in Prometheus" expect 'count(servermon_probes_total)' $'\t4'
wait_for "the correct reply" expect 'servermon_reply_correct' \
    $'good "one" \\ here\t1\nrefused\t0\nweb\t1\nwrong\t0'
wait_for "the wrong reply" expect 'servermon_socket_faults_total{kind="wrong"} > bool 0' \
    $'good "one" \\ here\t0\nrefused\t0\nweb\t0\nwrong\t1'
wait_for "the refused connection" expect 'servermon_socket_faults_total{kind="error"} > bool 0' \
    $'good "one" \\ here\t0\nrefused\t1\nweb\t0\nwrong\t0'
wait_for "the HTTP check" expect 'servermon_http_status_code' $'web\t200'
wait_for "the HTTP phases" expect 'count(servermon_http_duration_seconds)' $'\t5'
wait_for "the pass count" expect 'servermon_passes_total > bool 0' $'\t1'
echo "prometheus: every server scraped in $((SECONDS - started)) s"
