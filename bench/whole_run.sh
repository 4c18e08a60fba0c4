#!/usr/bin/env bash
# Whole-process figures with hyperfine: kbnset-cli's default two-pass run on full tables
# (E_KUBUN.KMT and J_KUBUN.KMT both hold the 5,011-record reference table), realistic and
# worst data, KUBUN.KMT restored before every run. Then one timed run of this build on the
# long-names set (time and peak memory from /usr/bin/time).
# Usage: bench/whole_run.sh BUILD_DIR [BASELINE]
#   BUILD_DIR  a build of the bench preset (kbnset-cli and kbnset_bench_data in it)
#   BASELINE   another kbnset-cli to run side by side, or a git revision to build one from
#              (Release, cached in build/baseline-REV)
# The data goes to $KBNSET_BENCH_DIR, else a fresh folder in /dev/shm (or $TMPDIR): on a
# RAM disk the figures are the program's own, not the disk's flush.
set -euo pipefail
build=$(realpath "$1")
baseline=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -n "$baseline" ] && [ ! -x "$baseline" ]; then
  rev=$(git -C "$root" rev-parse --short "$baseline")
  out="$root/build/baseline-$rev"
  if [ ! -x "$out/build/src/kbnset-cli" ]; then
    echo "== building kbnset-cli at $rev (Release) in $out"
    rm -rf "$out" && mkdir -p "$out/src"
    git -C "$root" archive "$rev" | tar -x -C "$out/src"
    cmake -S "$out/src" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKBNSET_TESTS=OFF >/dev/null
    cmake --build "$out/build" --target kbnset-cli >/dev/null
  fi
  baseline="$out/build/src/kbnset-cli"
fi

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
dir=${KBNSET_BENCH_DIR:-$(mktemp -d "$base/kbnset-bench.XXXXXX")}
[ -n "${KBNSET_BENCH_DIR:-}" ] || trap 'rm -rf "$dir"' EXIT

for set in realistic worst; do
  mkdir -p "$dir/$set"
  "$build/bench/kbnset_bench_data" "$dir/$set" "$set"
  args=(--data-dir "$dir/$set" --start-dir "$dir/$set")
  commands=(-n "kbnset-cli $set" "$build/src/kbnset-cli ${args[*]}")
  [ -z "$baseline" ] || commands+=(-n "baseline $set" "$baseline ${args[*]}")
  hyperfine -N --warmup 3 --runs "${RUNS:-40}" --prepare "cp $dir/$set/KUBUN.ORG $dir/$set/KUBUN.KMT" \
    "${commands[@]}"
done

mkdir -p "$dir/long"
"$build/bench/kbnset_bench_data" "$dir/long" long
cp "$dir/long/KUBUN.ORG" "$dir/long/KUBUN.KMT"
/usr/bin/time -f "kbnset-cli long: %e s wall, %U s user, %S s system, %M KB peak" \
  "$build/src/kbnset-cli" --data-dir "$dir/long" --start-dir "$dir/long" >/dev/null
rm -rf "$dir/long"
