#!/usr/bin/env bash
# Installs what is needed, then runs three stages: the test suite in the CI
# build (build-ci/, warnings as errors), the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), and the
# Debian packages (build-deb/: hardened, reproducible, lintian-clean,
# installed, run and purged; see scripts/package.sh). None touches the
# normal build in build/. The exit status is the first failing stage's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
started=$SECONDS
PRESET=ci scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --preset ci -j2
tests/service/check-prometheus.sh build-ci
normal=$((SECONDS - started))
scripts/test-sanitize.sh
sanitize=$((SECONDS - started - normal))
scripts/package.sh
echo "test: normal stage ${normal} s, sanitizer stage ${sanitize} s," \
    "package stage $((SECONDS - started - normal - sanitize)) s"
