#!/usr/bin/env bash
# The package for schools: kbnset.exe, kbnset-cli.exe and the Japanese guide in one zip.
# Usage: scripts/dist.sh <mingw build folder> <output folder>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <mingw build folder> <output folder>" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
for f in "$build"/src/kbnset.exe "$build"/src/kbnset-cli.exe "$root"/docs/guide-ja.md; do
  [ -f "$f" ] || { echo "dist.sh: $f missing; build with 'make mingw'" >&2; exit 1; }
done

version=$(sed -nE 's/^project\(kbnset VERSION ([0-9.]+).*/\1/p' "$root"/CMakeLists.txt)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dir=$stage/kbnset-$version
mkdir -p "$dir"
cp "$build"/src/kbnset.exe "$build"/src/kbnset-cli.exe "$dir"/
# As text that Notepad opens without guessing: UTF-8 with a byte-order mark, CR LF. An ASCII
# name, since older Windows shows other names in a zip garbled.
# The pictures stay behind.
{ printf '\xef\xbb\xbf'; grep -v '^!\[' "$root"/docs/guide-ja.md | sed 's/$/\r/'; } >"$dir/guide-ja.txt"

mkdir -p "$2"
out=$(cd "$2" && pwd)/kbnset-$version-win64.zip
rm -f "$out"
(cd "$stage" && zip -qr -X "$out" "kbnset-$version")
echo "$out"
