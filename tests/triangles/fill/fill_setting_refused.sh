#!/bin/bash
# Runs triangles with fill settings it cannot honour: each must be named on
# stderr, with exit status 1 before anything is printed or a results file is
# left (no display is needed to fail this early).
program="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0

refused() {  # variable=value, expected part of the message
    rm -rf "$work/run" && mkdir "$work/run"
    (cd "$work/run" && exec env "$1" "$program") >"$work/stdout" 2>"$work/stderr" </dev/null
    status=$?
    if [ "$status" -ne 1 ]; then echo "$1: expected exit status 1, got $status"; fail=1; fi
    if [ -s "$work/stdout" ]; then echo "$1: expected nothing on stdout, got:"; cat "$work/stdout"; fail=1; fi
    if ! grep -qF "triangles: $2" "$work/stderr"; then
        echo "$1: expected \"triangles: $2\" on stderr, got:"; cat "$work/stderr"; fail=1
    fi
    if [ -n "$(ls -A "$work/run")" ]; then echo "$1: expected no files, found:"; ls "$work/run"; fail=1; fi
}

refused LUMENFOLD_FILL_LEVEL=avx1024 "LUMENFOLD_FILL_LEVEL=avx1024 is no fill level"
refused LUMENFOLD_FILL_THREADS=none "LUMENFOLD_FILL_THREADS=none is no thread count"
# A level this processor lacks, where there is one.
for level in avx512 avx2 sse2; do
    flag=${level/avx512/avx512f}
    if ! grep -qw "$flag" /proc/cpuinfo; then
        refused LUMENFOLD_FILL_LEVEL=$level "lacks that level"
    fi
done
exit $fail
