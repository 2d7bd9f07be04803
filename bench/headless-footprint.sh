#!/usr/bin/env bash
# Compares servermon-headless with servermon --headless on one catalogue of
# 1,000 loopback servers: the time from start to the first completed pass
# (median of 5 starts) and the resident memory after 5 passes.
#   bench/headless-footprint.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: headless-footprint.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# One loopback peer answering every request with PONG.
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
/usr/bin/python3 - "$port" <<'PY' &
import asyncio, sys
async def answer(reader, writer):
    try:
        await reader.read(64)
        writer.write(b"PONG\n")
        await writer.drain()
    finally:
        writer.close()
async def main():
    server = await asyncio.start_server(answer, "127.0.0.1", int(sys.argv[1]), backlog=2048)
    async with server:
        await server.serve_forever()
asyncio.run(main())
PY
sleep 0.5

{
  echo "DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs"
  for i in $(seq 1 1000); do echo "s$i,127.0.0.1,$port,PING,PONG,2026-01-01,1,0"; done
} >"$work/servers.csv"

metrics_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

passes() {
  curl -s "http://127.0.0.1:$1/metrics" 2>/dev/null | awk '/^servermon_passes_total/ {print $2}'
}

# Seconds from the start to the first pass counted, or the RSS in KiB after
# the given number of passes, for one start of the command in $@.
run_once() {
  local want=$1 what=$2
  shift 2
  local dir="$work/run" mport
  rm -rf "$dir"
  mkdir -p "$dir"
  printf '[SETTING]\nITIMERN=1\n[SETUP]\nITIMEOUT=3000\nHISTORY=0\n' >"$dir/RodOdazuConfig.ini"
  "$build/servermon-headless" --config-dir "$dir" --import "$work/servers.csv" >/dev/null
  mport=$(metrics_port)
  local started=$(date +%s.%N)
  "$@" --config-dir "$dir" --metrics "127.0.0.1:$mport" >/dev/null 2>&1 &
  local pid=$!
  local deadline=$((SECONDS + 120))
  while ((SECONDS < deadline)); do
    local n
    n=$(passes "$mport")
    if [[ -n $n && $n -ge $want ]]; then break; fi
    sleep 0.02
  done
  local ended=$(date +%s.%N)
  if [[ $what == time ]]; then
    echo "$ended - $started" | bc -l
  else
    awk '/VmRSS/ {print $2}' "/proc/$pid/status"
  fi
  kill -TERM "$pid"
  wait "$pid" 2>/dev/null || true
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for program in headless window; do
  if [[ $program == headless ]]; then
    cmd=("$build/servermon-headless")
    label="servermon-headless"
  else
    cmd=(env -u DISPLAY -u WAYLAND_DISPLAY "$build/servermon" --headless)
    label="servermon --headless"
  fi
  start=$(for _ in 1 2 3 4 5; do run_once 1 time "${cmd[@]}"; done | median)
  rss=$(run_once 6 rss "${cmd[@]}")
  printf '%-22s first pass after %.3f s (median of 5), RSS after 5 passes %d KiB\n' \
    "$label" "$start" "$rss"
done
