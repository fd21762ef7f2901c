#!/usr/bin/env bash
# Installs what is needed, builds, and tests, in stages:
#   deps     the Debian packages of scripts/packages-run.txt and
#            scripts/packages-test.txt
#   release  the optimised build, as shipped, and every test
#   asan     the build under AddressSanitizer and UndefinedBehaviorSanitizer,
#            with its unit and GL tests
#   package  the Debian package: lintian finds no error or warning in it, it is
#            installable, and it runs from where dpkg puts it
#   fuzz     the kept fuzzing findings, then a minute of fuzzing the results-file reader
# STAGES="release asan" runs only those; arguments go to the release ctest
# (scripts/test.sh -L unit). Each stage's time is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

stage_deps() {
  scripts/install-deps.sh run test
}

stage_release() {
  scripts/build.sh
  ctest --preset release "$@"
}

stage_asan() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  ctest --preset asan-unit
  ctest --preset asan-gl
}

stage_package() {
  scripts/package-check.sh
}

stage_fuzz() {
  scripts/fuzz.sh
}

timings=()
report_timings() {
  local status=$?
  [ ${#timings[@]} -eq 0 ] || printf '%s\n' "Stage times:" "${timings[@]}"
  [ $status -eq 0 ] || echo "FAILED in stage ${current:-?} (exit status $status)" >&2
}
trap report_timings EXIT

for current in ${STAGES:-deps release asan package fuzz}; do
  declare -F "stage_$current" >/dev/null || { echo "unknown stage: $current" >&2; exit 2; }
  echo "=== stage $current"
  start=$SECONDS
  if [ "$current" = release ]; then "stage_$current" "$@"; else "stage_$current"; fi
  timings+=("  $(printf '%-8s %5d s' "$current" $((SECONDS - start)))")
done
current=""
