#!/usr/bin/env bash
# Builds and runs the pass benchmark for 100, 5,000 and 1,000 rows (each in
# its own process); the last line is the summary for 1,000 rows. Installs the
# peer tools it compares with (check_tcp, fping). Builds only the benchmark,
# in the normal build folder build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh monitoring-plugins-basic fping
scripts/build.sh pass_bench >/dev/null
for rows in 100 5000; do
  build/bench/pass_bench --rows "$rows"
done
build/bench/pass_bench --rows 1000 --summary
