#!/usr/bin/env bash
# Static analysis; any finding fails:
#  - clang-format: every C++ file of the repository formatted as .clang-format says;
#  - clang-tidy (checks in .clang-tidy) on every source as it is compiled: the lint preset
#    builds src/ with the POSIX runtime, bench/ and fuzz/, the lint-windows preset the Windows
#    build of src/;
#  - cppcheck on all of the project's code.
# Usage: scripts/lint.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-$(nproc)}
status=0

echo "== clang-format"
git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run --Werror || {
  echo "lint.sh: formatting differs; 'make format' rewrites the files" >&2
  status=1
}

# clang-tidy runs as each source compiles, and a source that failed leaves no object, so a
# build checks what changed since the last clean one; when the checks change, it all again.
checks=$(cat .clang-tidy; clang-tidy --version)
for preset in lint lint-windows; do
  echo "== clang-tidy: $preset"
  cmake --preset "$preset" >/dev/null
  stamp=$root/build/$preset/.clang-tidy-checks
  clean=(--clean-first)
  [ "$(cat "$stamp" 2>/dev/null)" = "$checks" ] && clean=()
  rm -f "$stamp"
  if cmake --build --preset "$preset" "${clean[@]}"; then
    printf '%s\n' "$checks" >"$stamp"
  else
    status=1
  fi
done

echo "== cppcheck"
# missingIncludeSystem: the standard headers are not given to cppcheck, it knows the library.
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
  --std=c++20 --language=c++ --library=googletest -I src -I tests \
  --suppress=missingIncludeSystem --quiet -j "$CMAKE_BUILD_PARALLEL_LEVEL" src bench fuzz tests || status=1

if [ $status -ne 0 ]; then
  echo "lint.sh: findings above" >&2
else
  echo "== lint clean"
fi
exit $status
