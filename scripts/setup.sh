#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running servermon
# need. Extra package names may be passed as arguments. Quick when everything
# is already present: apt-get update runs only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake
  qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev libqt6svg6
  qt6-charts-dev libqt6opengl6-dev
  qt6-translations-l10n qt6-l10n-tools qt6-tools-dev
  fonts-wqy-microhei
  xvfb xauth imagemagick
  python3 python3-cryptography python3-aiosmtpd libssl-dev libcurl4-openssl-dev nginx-light
  desktop-file-utils appstream dbus libcap2-bin tzdata
  postgresql-15 libqt6sql6-psql
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # Installing the server creates and starts the distribution's cluster
  # 15/main. The tests start a private one (scripts/pg-cluster.sh) and never
  # use it, so it does not stay running.
  if [[ " ${missing[*]} " == *" postgresql-15 "* ]] &&
      pg_lsclusters --no-header 2>/dev/null | grep -Eq '^15 +main +[0-9]+ +online'; then
    "${sudo_cmd[@]}" pg_ctlcluster 15 main stop
  fi
fi
