#!/usr/bin/env bash
# Installs what is needed, builds servermon with warnings as errors and runs
# every test; the exit status is the tests'.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
started=$SECONDS
PRESET=ci scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --preset ci -j2
echo "test: build and tests took $((SECONDS - started)) s"
