#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS. libFuzzer first runs every input of
# fuzz/corpus/<target>/ (the seeds, and each input that once failed, kept there after its fix),
# then fuzzes; new inputs go to a folder under the build folder, never into the repository.
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

  echo "== $name: fuzzing for ${seconds}s"
  # The first folder takes what libFuzzer finds; the repository's corpus is only read. The
  # loads change the current directory, so both are named by their full path.
  if ! TMPDIR=$scratch "$binary" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      "$corpus" "$root/fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz.sh: $name found a failing input in $artifacts (log: $work/$name.log)" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done' "$work/$name.log" || true
done
echo "== fuzzing passed: ${targets[*]}"
