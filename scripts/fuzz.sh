#!/usr/bin/env bash
# Builds the results-file fuzzer (clang, ASan, UBSan) and runs its smoke test:
# the kept findings, then FUZZ_SECONDS (default 60) of fuzzing.
#   scripts/fuzz.sh            # what CI runs
#   FUZZ_SECONDS=1800 FUZZ_SEED=0 scripts/fuzz.sh   # explore: longer, a fresh seed
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz -DFUZZ_SECONDS="${FUZZ_SECONDS:-60}" >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz
