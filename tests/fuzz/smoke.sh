#!/usr/bin/env bash
# smoke.sh FUZZER SOURCE_DIR WORK_DIR SECONDS
# Replays every kept finding, then fuzzes for SECONDS from the seed corpus.
# The seed is fixed so that a red run can be repeated and a green one means the
# same ground was covered; FUZZ_SEED=0 lets libFuzzer pick one, for exploring.
set -euo pipefail
fuzzer=$1 source=$2 work=$3 seconds=$4

regressions=("$source"/regressions/*)
if [ -e "${regressions[0]}" ]; then
  echo "replaying ${#regressions[@]} kept findings"
  "$fuzzer" -runs=1 "${regressions[@]}"
fi

rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
# Inputs take milliseconds; the generous timeout is wall-clock time, which a
# busy machine stretches (a 0.1 s input has taken 23 s under a load of 12).
# A finding is written to the artifacts directory and fails the test; keep it
# under tests/fuzz/regressions once fixed.
"$fuzzer" -seed="${FUZZ_SEED:-20191206}" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
  -dict="$source/results.dict" -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  "$work/corpus" "$source/corpus"
