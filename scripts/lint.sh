#!/usr/bin/env bash
# Static analysis: clang-tidy (checks in .clang-tidy) on the sources of the native build
# (src/ and bench/; the Windows-only sources are not in it) and on fuzz/, then cppcheck on
# all of the project's code. Any finding fails.
# Usage: scripts/lint.sh     (build folder for the compile commands: LINT_BUILD, default build/lint)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINT_BUILD:-$root/build/lint}
case "$build" in /*) ;; *) build=$root/$build ;; esac
jobs=${JOBS:-$(nproc)}
cd "$root"

# Configuring is enough: clang-tidy needs the compile commands, not the objects.
cmake --preset native -B "$build" -DKBNSET_TESTS=OFF -DKBNSET_BENCH=ON >/dev/null

mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
  grep -E "^$root/(src|bench)/" | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "lint.sh: no sources in $build/compile_commands.json" >&2; exit 2; }

status=0
echo "== clang-tidy: ${#files[@]} files"
# The compile commands are GCC's: clang must not stop at a GCC-only warning option.
# Findings come on standard output; the counts of suppressed warnings in system headers
# ("N warnings generated.") are dropped from standard error.
printf '%s\n' "${files[@]}" |
  xargs -P "$jobs" -n 1 clang-tidy -p "$build" --quiet --warnings-as-errors='*' \
    --extra-arg=-Wno-unknown-warning-option \
    2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2) || status=1
# The fuzz targets build only with clang's fuzzer flags, so they are not in the native
# compile commands; their sources need no more than this.
printf '%s\n' fuzz/*.cpp |
  xargs -P "$jobs" -I{} clang-tidy --quiet --warnings-as-errors='*' {} -- -std=c++20 -Isrc \
  2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2) || status=1

echo "== cppcheck"
# missingIncludeSystem: the standard headers are not given to cppcheck, it knows the library.
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
  --std=c++20 --language=c++ --library=googletest -I src -I tests \
  --suppress=missingIncludeSystem --quiet -j "$jobs" src bench fuzz tests || status=1

if [ $status -ne 0 ]; then
  echo "lint.sh: findings above" >&2
else
  echo "== lint clean"
fi
exit $status
