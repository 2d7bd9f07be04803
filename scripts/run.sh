#!/usr/bin/env bash
# Installs what is needed, builds servermon and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "servermon needs a graphical desktop: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
  exit 1
fi
exec build/servermon
