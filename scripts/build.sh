#!/usr/bin/env bash
# Configures and builds the release preset, the tests included.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release -DBUILD_TESTING=ON >/dev/null
cmake --build --preset release
