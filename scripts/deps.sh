#!/usr/bin/env bash
# Installs, only when missing, the Debian packages that the build and the tests need.
# Usage: scripts/deps.sh native|windows|lint|fuzz|bench|screenshots|all
set -euo pipefail

native=(g++ cmake ninja-build time googletest libgtest-dev libgmock-dev libbenchmark-dev libxxhash-dev clang-format)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-apps
         imagemagick locales fonts-ipafont zip unzip cmark-gfm)
lint=(clang-tidy cppcheck)
fuzz=(clang libclang-rt-14-dev)
bench=(hyperfine)
screenshots=(xdotool)

want=()
for group in "$@"; do
  case "$group" in
    native) want+=("${native[@]}") ;;
    windows) want+=("${windows[@]}") ;;
    lint) want+=("${lint[@]}") ;;
    fuzz) want+=("${fuzz[@]}") ;;
    bench) want+=("${bench[@]}") ;;
    screenshots) want+=("${screenshots[@]}") ;;
    all) want+=("${native[@]}" "${windows[@]}" "${lint[@]}" "${fuzz[@]}") ;;
    *) echo "deps.sh: unknown group $group" >&2; exit 2 ;;
  esac
done

missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives code page 932.
if printf '%s\n' "${want[@]}" | grep -qx locales; then
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
fi
