#!/usr/bin/env bash
# Packs the release build as a Debian package (build/release/package/), has
# lintian check it (any error or warning fails), checks its documents and
# dependencies and that apt would install it here, unpacks it into a temporary
# root and starts lumenfold and one program from there, without the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/release
out=$build/package

rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
debs=("$out"/lumenfold_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package in $out, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

# Debian's own checker: no error and no warning (lintian warns against root,
# and leaves files behind in its TMPDIR).
mkdir "$root/lintian"
TMPDIR=$root/lintian lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) \
  || { echo "lintian found errors or warnings in $(basename "$deb")" >&2; exit 1; }
echo "lintian: no error or warning"

# A machine that only runs benchmarks installs none of the test tools.
for package in $(dpkg-deb -f "$deb" Depends Recommends | sed -E 's/^[A-Za-z-]+://; s/\([^)]*\)//g; s/[,|]/ /g'); do
  ! grep -qx "$package" scripts/packages-test.txt \
    || { echo "the package depends on $package, which only the tests need" >&2; exit 1; }
done

# Every dependency resolves on this system (a simulation: nothing is installed).
apt-get install -s -q "$deb" >/dev/null

dpkg -x "$deb" "$root"
for program in triangles cube streaming lumenfold; do
  [ -x "$root/usr/bin/$program" ] || { echo "package lacks /usr/bin/$program" >&2; exit 1; }
  zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q '^\.TH' \
    || { echo "package lacks the man page of $program" >&2; exit 1; }
done

version=$("$root/usr/bin/lumenfold" --version)
expected=$(sed -n 's/^project(Lumenfold VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$version" = "$expected" ] || { echo "lumenfold --version says '$version', expected '$expected'" >&2; exit 1; }
echo "lumenfold --version: $version"

# lintian reads neither the changelog's version nor the copyright's form in a
# built package: the newest changelog entry is this version, and the
# copyright file parses as the machine-readable format with a text for every
# licence it names.
doc=$root/usr/share/doc/lumenfold
[ "$(zcat "$doc/changelog.gz" | sed -n '1s/^lumenfold (\([^)]*\)).*/\1/p')" = "$(dpkg-deb -f "$deb" Version)" ] \
  || { echo "the newest entry of cmake/debian/changelog is not version $(dpkg-deb -f "$deb" Version)" >&2; exit 1; }
/usr/bin/python3 - "$doc/copyright" <<'PYTHON' || { echo "cmake/debian/copyright is not a sound machine-readable copyright file" >&2; exit 1; }
import re, sys
import debian.copyright
with open(sys.argv[1], encoding="utf-8") as handle:
    copyright = debian.copyright.Copyright(handle, strict=True)
texts = {p.license.synopsis for p in copyright.all_license_paragraphs()}
texts |= {p.license.synopsis for p in copyright.all_files_paragraphs() if p.license.text}
for paragraph in copyright.all_files_paragraphs():
    for name in re.split(r"\s+(?:and|or)\s+", paragraph.license.synopsis):
        if name not in texts:
            sys.exit(f"{sys.argv[1]}: no text for the licence {name} of {' '.join(paragraph.files)}")
PYTHON

# One frame of triangles on a private virtual X server, started by the
# packaged lumenfold, which finds the packaged program on PATH.
mkdir "$root/run"
env -u DISPLAY PATH="$root/usr/bin:$PATH" "$root/usr/bin/lumenfold" run triangles --frames 1 --dir "$root/run" >"$root/run.log" 2>&1 \
  || { cat "$root/run.log" >&2; echo "the packaged triangles did not run" >&2; exit 1; }
python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1]))["programPath"] != sys.argv[2])' \
    "$root"/run/*.json "$root/usr/bin/triangles" \
  || { cat "$root"/run/*.json >&2; echo "lumenfold ran some other triangles" >&2; exit 1; }
ls "$root"/run/results_triangles_*.txt >/dev/null
echo "packaged triangles ran one frame and wrote $(basename "$root"/run/results_triangles_*.txt)"

# validate finds the packaged capture library from the packaged lumenfold:
# streaming, one step, drawn and referenced on private virtual X servers.
[ -f "$root/usr/lib/lumenfold/liblumenfold_capture.so" ] || { echo "package lacks the capture library" >&2; exit 1; }
env -u DISPLAY PATH="$root/usr/bin:$PATH" "$root/usr/bin/lumenfold" validate streaming --steps 1 --dir "$root/validation" \
    >"$root/validate.log" 2>&1 || { cat "$root/validate.log" >&2; echo "the packaged validate failed" >&2; exit 1; }
grep -q "^step 1: identical" "$root/validate.log" || { cat "$root/validate.log" >&2; exit 1; }
grep -q "$root/usr/lib/lumenfold/liblumenfold_capture.so" "$root"/validation/drawn/*.json \
  || { echo "validate did not preload the packaged capture library" >&2; exit 1; }
echo "packaged validate captured and compared one frame of streaming"
