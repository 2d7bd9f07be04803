#!/usr/bin/env bash
# Builds servermon with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs the whole test suite under them.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
PRESET=asan scripts/build.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
# The PostgreSQL tests run against a private cluster, removed at exit
# whatever the outcome; without one the run fails rather than skip them.
pg_dir=$(mktemp -d /tmp/servermon-pg.XXXXXX)
trap 'scripts/pg-cluster.sh stop "$pg_dir"' EXIT
scripts/pg-cluster.sh start "$pg_dir"
# shellcheck source=/dev/null
source "$pg_dir/env"
export SERVERMON_REQUIRE_PG=1
QT_QPA_PLATFORM=offscreen ctest --preset asan -j2
echo "test-sanitize: build and tests took $((SECONDS - started)) s"
