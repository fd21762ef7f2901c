#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset release "$@"
# The whole suite also fuzzes the results-file reader for a minute.
if [ $# -eq 0 ]; then scripts/fuzz.sh; fi
