#!/usr/bin/env bash
# Builds and runs the pass benchmark for 100, 5,000, 10,000 and 1,000 rows
# (each in its own process); the last line is the summary for 1,000 rows,
# with the 10,000-row figures appended. The 1,000-row run includes a pass in
# which 100 hosts never answer an echo: an nftables rule in the input hook
# drops echo requests to 127.0.1.0/24 while the benchmark runs (where the
# rule cannot be added, those echoes are lost at a real 200 ms deadline
# instead). Then the TLS benchmark: a 1,000-row TLS pass against a loopback
# TLS server beside a minimal OpenSSL client loop, whose figures
# (tls_floor_ratio, tls_stall_ms) follow on the summary line; then the
# HTTP benchmark: a 1,000-row HTTP pass against a loopback HTTP server
# beside a minimal libcurl multi loop (http_floor_ratio, http_stall_ms);
# then the history file's size per day for 100,000 servers a minute apart
# with every result raw and with only every 10th (history_gb_day_1,
# history_gb_day_10, from 2,000 steady servers);
# then the share of a 10,000-row pass that dependencies and maintenance
# windows take (alertlogic_share, target below 0.05); last the catalogue in
# a private PostgreSQL cluster on 127.0.0.1 (scripts/pg-cluster.sh, stopped
# at exit) beside the catalogue file, both holding 10,000 servers: the list
# load's time from the database over the file's (pg_load_ratio, target at
# most 2), the UI thread's longest event wait during loads from the
# database (pg_stall_ms, target 16 ms) and the time another copy's change
# to a server takes to arrive (pg_propagate_ms, median and worst of 50,
# target below 2000 ms); then on the same cluster a fleet of headless agents:
# the CPU time per server and pass of three agents sharing 30,000 servers
# over one agent holding 10,000 (fleet_ratio, target at most 1.2) and the
# share of a pass the agent's state write takes (upsert_share, target below
# 0.05), with datagram ICMP sockets allowed for the run as Debian's default
# settings allow them (raw sockets would hand every agent on this one
# machine the others' echo replies too); then one servermon-headless on one
# core holding 100,000 loopback servers: the time until the list is loaded
# (load100k_s, target below 5 s), its first TCP pass (pass100k_s, target
# below 60 s), its peak memory per server after it (bytes_per_row100k,
# target below 2,048) and a metrics scrape's size and time; last a metrics
# scrape of 100,000 servers read by curl: its size, time, the main thread's
# longest event wait during it (scrape100k_stall_ms, beside the idle
# thread's) and its growth of resident memory. Between the pass benchmarks and the
# TLS one, a 1,000-row TCP pass beside Debian's blackbox exporter probing the
# same endpoints with the same send and expect, driven by /probe requests as
# Prometheus would: the exporter's CPU time per probe over ours (x_blackbox,
# target at least 10; the exporter's package is downloaded once into the
# build folder and unpacked, never installed; where it cannot be had the
# figure is 0). Installs the peer tools it compares with (check_tcp, fping),
# nftables and PostgreSQL. Builds only the benchmarks, in the normal build
# folder build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh monitoring-plugins-basic fping nftables
scripts/build.sh pass_bench blackbox_bench tls_bench http_bench history_bench alertlogic_bench \
  pg_bench fleet_bench agent100k_bench metrics_bench servermon-headless >/dev/null

table=servermon_bench
firewall=false
pg_dir=''
ping_range=$(cat /proc/sys/net/ipv4/ping_group_range)
cleanup() {
  sysctl -qw net.ipv4.ping_group_range="$ping_range" || true
  if [[ -n $pg_dir ]]; then
    scripts/pg-cluster.sh stop "$pg_dir"
  fi
  if $firewall; then
    nft delete table inet "$table"
  fi
}
trap cleanup EXIT
if nft add table inet "$table" 2>/dev/null; then
  firewall=true
  nft add chain inet "$table" input '{ type filter hook input priority -10; policy accept; }' &&
    nft add rule inet "$table" input ip daddr 127.0.1.0/24 icmp type echo-request drop ||
    echo "bench: no firewall rule for the silent hosts; their echoes are emulated"
else
  echo "bench: nftables not usable here; the silent hosts' echoes are emulated"
fi

for rows in 100 5000; do
  build/bench/pass_bench --rows "$rows"
done
output=$(mktemp)
build/bench/pass_bench --rows 10000 --no-peers --key-figures | tee "$output"
figures10k=$(tail -n 1 "$output")
build/bench/pass_bench --rows 1000 --silent 100 --summary | tee "$output"
summary=$(tail -n 1 "$output")
build/bench/blackbox_bench --rows 1000 --summary | tee "$output"
figuresBlackbox=$(tail -n 1 "$output")
build/bench/tls_bench --rows 1000 --summary | tee "$output"
figuresTls=$(tail -n 1 "$output")
build/bench/http_bench --rows 1000 --summary | tee "$output"
figuresHttp=$(tail -n 1 "$output")
build/bench/history_bench | tee "$output"
figuresHistory=$(tail -n 1 "$output")
build/bench/alertlogic_bench --rows 10000 | tee "$output"
figuresAlerts=$(tail -n 1 "$output")
pg_dir=$(mktemp -d /tmp/servermon-pg.XXXXXX)
scripts/pg-cluster.sh start "$pg_dir"
# shellcheck source=/dev/null
source "$pg_dir/env"
export PGPASSWORD=$SERVERMON_TEST_PG_PASSWORD
build/bench/pg_bench --rows 10000 --summary | tee "$output"
figuresPg=$(tail -n 1 "$output")
sysctl -qw net.ipv4.ping_group_range="0 2147483647" ||
  echo "bench: datagram ICMP sockets not allowed; the agents share raw ones"
build/bench/fleet_bench --rows 10000 --summary | tee "$output"
figuresFleet=$(tail -n 1 "$output")
build/bench/agent100k_bench --rows 100000 --summary | tee "$output"
figuresAgent=$(tail -n 1 "$output")
build/bench/metrics_bench --rows 100000 | tee "$output"
figuresMetrics=$(tail -n 1 "$output")
rm -f "$output"
echo "$summary $figures10k $figuresBlackbox $figuresTls $figuresHttp $figuresHistory" \
  "$figuresAlerts $figuresPg $figuresFleet $figuresAgent $figuresMetrics"
