#!/usr/bin/env bash
# Installs what is needed, builds the program (only the program: no tests, no
# benchmarks) and starts it with its settings and catalogue in run/, so that
# deleting build/ loses nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh servermon

mkdir -p run
# Earlier runs kept the catalogue and the settings beside build/servermon.
for file in ServerList.db RodOdazuConfig.ini; do
  if [[ -f build/$file && ! -e run/$file ]]; then
    mv "build/$file" "run/$file"
    echo "run: moved build/$file to run/$file"
  fi
done

# Echoes need a raw ICMP socket where the system allows no ping socket: the
# capability Debian's ping has. Linking anew drops it, so it is granted again.
program=build/servermon
if ! getcap "$program" 2>/dev/null | grep -q cap_net_raw; then
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
  fi
  if ! "${sudo_cmd[@]}" setcap cap_net_raw+ep "$program"; then
    echo "run: could not grant cap_net_raw; for echoes as a normal user run: sudo setcap cap_net_raw+ep $program" >&2
  fi
fi

exec "$program" --config-dir run "$@"
