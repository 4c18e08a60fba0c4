#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS. The inputs kept under
# fuzz/regressions/<target>/ run first, once each; then the target fuzzes a copy of its seed
# corpus under the build folder (the repository's corpus is never written to).
# Usage: scripts/fuzz.sh SECONDS [TARGET...]     (build folder: FUZZ_BUILD, default build/fuzz)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
build=${FUZZ_BUILD:-$root/build/fuzz}
case "$build" in /*) ;; *) build=$root/$build ;; esac

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("$name")
  done
fi

# The targets write their files in a private folder under TMPDIR: memory when there is a
# tmpfs, since every save flushes to the disk.
work=$build/work
scratch=$work/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm/kbnset-fuzz-$$
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

for name in "${targets[@]}"; do
  binary=$build/fuzz/fuzz_$name
  [ -x "$binary" ] || { echo "fuzz.sh: no target $name" >&2; exit 2; }
  corpus=$work/corpus/$name
  artifacts=$work/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  options=(-rss_limit_mb=2048 -timeout=10 -max_len=16384 "-artifact_prefix=$artifacts/")

  # The loads change the current directory: every input is named by its full path.
  regressions=("$root"/fuzz/regressions/"$name"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== $name: ${#regressions[@]} regression inputs"
    TMPDIR=$scratch "$binary" "${options[@]}" "${regressions[@]}" >"$work/$name-regressions.log" 2>&1 || {
      cat "$work/$name-regressions.log" >&2
      echo "fuzz.sh: $name fails on a kept regression input" >&2
      exit 1
    }
  fi

  echo "== $name: fuzzing for ${seconds}s"
  for seed in "$root"/fuzz/corpus/"$name"/*; do
    [ -e "$corpus/$(basename "$seed")" ] || cp "$seed" "$corpus"/
  done
  if ! TMPDIR=$scratch "$binary" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      "$corpus" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz.sh: $name found a failing input in $artifacts (log: $work/$name.log)" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done' "$work/$name.log" || true
done
echo "== fuzzing passed: ${targets[*]}"
