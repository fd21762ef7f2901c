#!/usr/bin/env bash
# Installs what is needed, builds, and runs one program (triangles by default).
# With a display, the program opens its window there and waits for your keys.
# Without one, it runs on a virtual X server and is driven for you: R, a few
# frames, Esc, Enter.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
program=${1:-triangles}
case "$program" in triangles|cube|streaming) ;; *) echo "usage: $0 [triangles|cube|streaming]" >&2; exit 2;; esac
scripts/install-deps.sh
scripts/build.sh >/dev/null
binary=$root/build/release/$program/$program
cd "$caller"  # the results file lands where the user stands
if [ -n "${DISPLAY:-}" ]; then
  exec "$binary"
fi
exec env PYTHONPATH="$root/tests/lib" LUMENFOLD_BUILD="$root/build/release" \
  /usr/bin/python3 "$root/scripts/drive.py" "$program" "${FRAMES:-3}"
