#!/bin/bash
# Runs triangles with 400,000 KiB of address space, less than its 512 MiB
# buffer: it must say so on stderr and stop with status 1 before printing
# anything else or leaving a results file (no display is needed to fail this
# early).
program="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/stdout" err="$work/stderr"
mkdir "$work/run"

(cd "$work/run" && ulimit -v 400000 && exec "$program") >"$out" 2>"$err" </dev/null
status=$?

fail=0
if [ "$status" -ne 1 ]; then echo "expected exit status 1, got $status"; fail=1; fi
if [ -s "$out" ]; then echo "expected nothing on stdout, got:"; cat "$out"; fail=1; fi
if ! grep -q "cannot allocate the 536870912-byte attribute buffer" "$err"; then
    echo "expected the allocation message on stderr, got:"; cat "$err"; fail=1
fi
if [ -n "$(ls -A "$work/run")" ]; then echo "expected no files, found:"; ls "$work/run"; fail=1; fi
exit $fail
