#!/usr/bin/env bash
# The shipped alerting rules over a live fleet: three headless agents of one
# PostgreSQL catalogue, in locations a, b and c, scraped by a real
# Prometheus (from Debian's package, unpacked, never installed) that loads
# packaging/prometheus/servermon-rules.yml. The catalogue holds a server
# that answers everywhere and refusing ones watched from a and b, from a
# alone, from everywhere and from a location without agents. The
# expression of ServermonServerDown, as Prometheus loaded it, must yield
# exactly the refusing servers of a, of a and b, and of everywhere, each
# with the number of locations that see it down, and the alert must be
# pending for those; when agent c ends, ServermonAgentSilent names it and
# the server down everywhere counts one location fewer.
#   tests/service/check-fleet-prometheus.sh BUILD_DIR
# The cluster is the one SERVERMON_TEST_PG_* name (scripts/pg-cluster.sh's
# env file; scripts/test.sh exports them); without them the script starts a
# private one for the run. Everything runs on 127.0.0.1 and ends with the
# script; it fails after 90 s of waiting.
set -euo pipefail
build=$(cd "${1:?usage: check-fleet-prometheus.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
program=$build/servermon
rules=$source_dir/packaging/prometheus/servermon-rules.yml
psql_program=/usr/lib/postgresql/15/bin/psql
[[ -x $program ]] || { echo "FAIL: $program not built" >&2; exit 1; }
started=$SECONDS

work=$(mktemp -d)
pids=()
pg_dir=''
database=servermon_fleet_prometheus_$$
database_made=false
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if $database_made; then
        psql -d postgres -c "drop database if exists $database with (force)" >/dev/null 2>&1 || true
    fi
    [[ -z $pg_dir ]] || "$source_dir/scripts/pg-cluster.sh" stop "$pg_dir"
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

if [[ -z ${SERVERMON_TEST_PG_HOST:-} ]]; then
    pg_dir=$(mktemp -d /tmp/servermon-pg.XXXXXX)
    "$source_dir/scripts/pg-cluster.sh" start "$pg_dir" >/dev/null || fail "no PostgreSQL cluster"
    # shellcheck source=/dev/null
    source "$pg_dir/env"
fi
pg_host=$SERVERMON_TEST_PG_HOST
pg_port=${SERVERMON_TEST_PG_PORT:?}
pg_user=${SERVERMON_TEST_PG_USER:?}
export PGPASSWORD=${SERVERMON_TEST_PG_PASSWORD:?}
psql() {
    "$psql_program" -X -q -v ON_ERROR_STOP=1 -h "$pg_host" -p "$pg_port" -U "$pg_user" "$@"
}
psql -d postgres -c "create database $database" >/dev/null || fail "create database $database"
database_made=true
uri=postgresql://$pg_user@$pg_host:$pg_port/$database

# The package is downloaded once per build folder, as check-prometheus.sh does.
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
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" ./usr/bin/prometheus ||
    fail "$deb holds no prometheus"
prometheus=$work/usr/bin/prometheus

deadline=$((SECONDS + 90))
wait_for() { # DESCRIPTION COMMAND...: polls until the command succeeds
    local what=$1
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.2
    done
}
free_port() {
    /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# One peer answers as expected; a port nobody listens on refuses.
/usr/bin/python3 -u - >"$work/peer.log" 2>&1 <<'PY' &
import socket, threading
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
print("port", listener.getsockname()[1], flush=True)
def answer(connection):
    with connection:
        connection.recv(4096)
        connection.sendall(b"220 ready\r\n")
while True:
    threading.Thread(target=answer, args=(listener.accept()[0],), daemon=True).start()
PY
pids+=($!)
wait_for "the peer" grep -q '^port ' "$work/peer.log"
read -r _ good_port <"$work/peer.log"
refused_port=$(free_port)

declare -A agent_pid metrics_port
start_agent() { # LOCATION: agent LOCATION in location LOCATION
    local location=$1
    mkdir -p "$work/$location"
    printf '[SETTING]\nITIMERN=2\n' >"$work/$location/RodOdazuConfig.ini"
    metrics_port[$location]=$(free_port)
    "$program" --headless --config-dir "$work/$location" --database "$uri" \
        --agent "$location" --location "$location" --metrics "${metrics_port[$location]}" \
        >"$work/agent-$location.log" 2>&1 &
    agent_pid[$location]=$!
    pids+=($!)
    wait_for "agent $location to start" grep -q $'\tstart\t' "$work/agent-$location.log"
}

# The first agent creates the catalogue's tables; the servers go in before
# the others start.
start_agent a
psql -d "$database" >/dev/null <<SQL || fail "inserting the servers"
insert into ServerList (DisplayName, IPAddress, Port, PostData, ReplyData, AddTime, InUse, Locations)
values ('good', '127.0.0.1', '$good_port', 'HELLO', '220', '', 1, ''),
       ('refused-ab', '127.0.0.1', '$refused_port', 'HELLO', '220', '', 1, 'a,b'),
       ('refused-a', '127.0.0.1', '$refused_port', 'HELLO', '220', '', 1, 'a'),
       ('refused-all', '127.0.0.1', '$refused_port', 'HELLO', '220', '', 1, ''),
       ('refused-d', '127.0.0.1', '$refused_port', 'HELLO', '220', '', 1, 'd');
SQL
start_agent b
start_agent c

prometheus_port=$(free_port)
cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files:
  - $rules
scrape_configs:
  - job_name: servermon
    static_configs:
      - targets: ['127.0.0.1:${metrics_port[a]}', '127.0.0.1:${metrics_port[b]}', '127.0.0.1:${metrics_port[c]}']
YML
"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)
api=http://127.0.0.1:$prometheus_port/api/v1

# The rule's expression as Prometheus loaded it from the file, once its
# first evaluation went well.
rule_expression() {
    /usr/bin/python3 - "$api/rules" <<'PY'
import json, sys, urllib.request
groups = json.load(urllib.request.urlopen(sys.argv[1], timeout=5))["data"]["groups"]
rule = next(r for g in groups for r in g["rules"] if r["name"] == "ServermonServerDown")
if rule["health"] != "ok":
    sys.exit(1)
print(rule["query"])
PY
}
# Each series of a query as its LABEL's value and the series' value, sorted.
query() { # QUERY LABEL
    /usr/bin/python3 - "$api/query" "$1" "$2" <<'PY'
import json, sys, urllib.parse, urllib.request
url = sys.argv[1] + "?" + urllib.parse.urlencode({"query": sys.argv[2]})
result = json.load(urllib.request.urlopen(url, timeout=5))["data"]["result"]
for line in sorted("%s\t%s" % (s["metric"].get(sys.argv[3], ""), s["value"][1]) for s in result):
    print(line)
PY
}
expect() { # QUERY LABEL EXPECTED-LINES
    [[ $(query "$1" "$2") == "$3" ]]
}

wait_for "the three agents in Prometheus" expect 'servermon_agent_info' location $'a\t1\nb\t1\nc\t1'
wait_for "the rules' first evaluation" rule_expression
down=$(rule_expression)
wait_for "the servers down in enough locations" expect "$down" name \
    $'refused-a\t1\nrefused-ab\t2\nrefused-all\t3'
wait_for "the pending alerts" expect 'ALERTS{alertname="ServermonServerDown"}' name \
    $'refused-a\t1\nrefused-ab\t1\nrefused-all\t1'
expect 'ALERTS{alertname="ServermonAgentSilent"}' instance '' ||
    fail "an agent is taken for silent: $(query 'ALERTS{alertname="ServermonAgentSilent"}' instance)"

kill -TERM "${agent_pid[c]}"
wait "${agent_pid[c]}" || fail "agent c ended with status $?"
# Ended and waited for, its id may go to another process.
for i in "${!pids[@]}"; do
    [[ ${pids[i]} != "${agent_pid[c]}" ]] || unset 'pids[i]'
done
wait_for "agent c taken for silent" expect 'ALERTS{alertname="ServermonAgentSilent"}' instance \
    "127.0.0.1:${metrics_port[c]}"$'\t1'
wait_for "the servers down without c" expect "$down" name \
    $'refused-a\t1\nrefused-ab\t2\nrefused-all\t2'
echo "fleet-prometheus: the rules judged three agents' servers in $((SECONDS - started)) s"
