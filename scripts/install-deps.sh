#!/usr/bin/env bash
# Installs the Debian packages of the named lists (skips the update and install
# when all of them are present already):
#   scripts/install-deps.sh run         scripts/packages-run.txt: build and run
#   scripts/install-deps.sh run test    and scripts/packages-test.txt: test
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || { echo "usage: $0 run [test]" >&2; exit 2; }
packages=()
for list in "$@"; do
  file=$here/packages-$list.txt
  [ -f "$file" ] || { echo "$0: no package list $file" >&2; exit 2; }
  mapfile -t -O ${#packages[@]} packages < <(grep -v -E '^\s*(#|$)' "$file")
done
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
