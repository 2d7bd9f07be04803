#!/usr/bin/env bash
# Configures and builds servermon with the CMake preset in $PRESET (default).
# Arguments name the targets to build; without any, everything is built.
#   scripts/build.sh              everything, in build/
#   scripts/build.sh servermon    only the program
#   PRESET=ci scripts/build.sh    everything, warnings as errors, in build-ci/
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-default}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset "$preset" "${launcher[@]}" >/dev/null
targets=()
if (($# > 0)); then
  targets=(--target "$@")
fi
cmake --build --preset "$preset" "${targets[@]}"
