#!/usr/bin/env bash
# Installs what building and running need (scripts/packages-run.txt), builds,
# and runs one program (triangles by default).
# With a display, the program opens its window there and waits for your keys.
# Without one, lumenfold runs it on a private virtual X server and drives it:
# R, a few frames, P, Esc, Enter, then a report of the run.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
program=${1:-triangles}
case "$program" in triangles|cube|streaming) ;; *) echo "usage: $0 [triangles|cube|streaming]" >&2; exit 2;; esac
scripts/install-deps.sh run
# Only what this run needs. A tree configured here first leaves the tests out,
# so that a machine that only runs benchmarks needs none of the test packages;
# scripts/build.sh puts them back.
testing=()
[ -f build/release/CMakeCache.txt ] || testing=(-DBUILD_TESTING=OFF)
cmake --preset release "${testing[@]}" >/dev/null
targets=("$program")
[ -n "${DISPLAY:-}" ] || targets+=(lumenfold)
echo "Building ${targets[*]} in build/release" >&2
cmake --build --preset release --target "${targets[@]}" >/dev/null
binary=$root/build/release/$program/$program
cd "$caller"  # the results file lands where the user stands
if [ -n "${DISPLAY:-}" ]; then
  exec "$binary"
fi
exec "$root/build/release/lumenfold/lumenfold" run "$program" --frames "${FRAMES:-3}"
