#!/usr/bin/env bash
# Configures and builds servermon with the CMake preset in $PRESET (default).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-default}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
