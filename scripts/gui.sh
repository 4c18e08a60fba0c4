#!/usr/bin/env bash
# Shows the real window at work on Linux: kbnset.exe under Wine, on your display, on a fresh
# copy of the sample data (examples/), with the suite's settings value pointing at the copy.
# Close the window to end. Usage: scripts/gui.sh <kbnset.exe> <scratch folder>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <kbnset.exe> <scratch folder>" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=$(realpath "$1")
[ -f "$exe" ] || { echo "gui.sh: $1 not found; build it with 'make mingw'" >&2; exit 1; }
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] ||
  { echo "gui.sh: no display; run it in a desktop session (or under xvfb-run)" >&2; exit 1; }

. "$root"/scripts/wine-env
"$root"/scripts/wine-prefix
. "$root"/scripts/sample.sh
wine_sample "$2"

echo "データフォルダ: $(cd "$2" && pwd)/data (KUBUN.KMT を更新します)"
echo "開始フォルダ:   $sample_start (E_KUBUN.KMT, J_KUBUN.KMT)"
cd "$sample_start"
exec wine "$exe"
