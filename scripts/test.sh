#!/usr/bin/env bash
# Installs what is needed, then runs two stages: the test suite in the CI
# build (build-ci/, warnings as errors), and the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/). Neither
# touches the normal build in build/. The exit status is the tests'.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
started=$SECONDS
PRESET=ci scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --preset ci -j2
tests/service/check-prometheus.sh build-ci
normal=$((SECONDS - started))
scripts/test-sanitize.sh
echo "test: normal stage ${normal} s, sanitizer stage $((SECONDS - started - normal)) s"
