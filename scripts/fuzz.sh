#!/usr/bin/env bash
# Builds the libFuzzer binaries with clang and runs one target for a while:
#   scripts/fuzz.sh TARGET SECONDS
# Targets: clock_stamp request_payload reply_match ini_file address_to_number.
# New inputs go to build-fuzz/corpus/TARGET; crashers to build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
seconds=${2:-60}
scripts/setup.sh clang libclang-rt-14-dev
PRESET=fuzz scripts/build.sh
mkdir -p "build-fuzz/corpus/$target" build-fuzz/crashes
exec "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build-fuzz/crashes/ "build-fuzz/corpus/$target" "fuzz/corpus/$target"
