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
# The PostgreSQL tests run against a private cluster, removed at exit
# whatever the outcome; without one the run fails rather than skip them.
pg_dir=$(mktemp -d /tmp/servermon-pg.XXXXXX)
trap 'scripts/pg-cluster.sh stop "$pg_dir"' EXIT
scripts/pg-cluster.sh start "$pg_dir"
# shellcheck source=/dev/null
source "$pg_dir/env"
export SERVERMON_REQUIRE_PG=1
QT_QPA_PLATFORM=offscreen ctest --preset ci -j2
tests/service/check-prometheus.sh build-ci
tests/service/check-rules.sh build-ci
tests/service/check-fleet-prometheus.sh build-ci
normal=$((SECONDS - started))
scripts/test-sanitize.sh
sanitize=$((SECONDS - started - normal))
scripts/package.sh
echo "test: normal stage ${normal} s, sanitizer stage ${sanitize} s," \
    "package stage $((SECONDS - started - normal - sanitize)) s"
