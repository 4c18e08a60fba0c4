#!/usr/bin/env bash
# Takes the pictures of the window for the README: kbnset.exe under Wine (its virtual desktop
# draws the frame) in a virtual X server, on a fresh copy of the sample data. Three pictures:
# as started, after a run, and expanded by Shift + right button on "変換先".
# Usage: scripts/screenshots.sh [kbnset.exe] [output folder]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=$(realpath "${1:-$root/build/mingw/src/kbnset.exe}")
out=$(realpath -m "${2:-$root/docs}")
[ -f "$exe" ] || { echo "screenshots.sh: $exe not found; build it with 'make mingw'" >&2; exit 1; }

if [ -z "${KBNSET_SCREENSHOT_X:-}" ]; then
  "$root"/scripts/deps.sh windows screenshots
  KBNSET_SCREENSHOT_X=1 exec xvfb-run -a -s '-screen 0 1024x768x24' "$0" "$exe" "$out"
fi

# A prefix of its own, so that ending Wine here ends nothing else.
export WINEPREFIX=$root/build/wineprefix-screenshots
. "$root"/scripts/wine-env
"$root"/scripts/wine-prefix
. "$root"/scripts/sample.sh
# Under drive C:, so that the pictures show a path as on a school's machine.
wine_sample "$WINEPREFIX/drive_c/ZORVEL"
trap 'wineserver -k 2>/dev/null || true' EXIT

shot=$(mktemp --suffix=.png)
grab() { xwd -root -silent | convert xwd:- "$shot"; }
# The pale yellow inside the destination path's 1-pixel border (client 56,56) locates the
# window on the screen.
locate() {
  grab
  local box
  box=$(convert "$shot" -fill black +opaque 'rgb(255,255,128)' -format '%@' info: 2>/dev/null)
  [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
  [ "${BASH_REMATCH[1]}" -gt 300 ] || return 1
  left=$((BASH_REMATCH[3] - 57))
  top=$((BASH_REMATCH[4] - 57))
}
save() {  # name, outer height in pixels
  grab
  convert "$shot" -crop "$((469 + 40))x$(($2 + 40))+$((left - 20))+$((top - 50))" +repage "$out/$1"
  echo "wrote $out/$1"
}

(cd "$sample_start" && exec wine "$exe") &
for _ in $(seq 60); do locate && break; sleep 0.5; done
locate || { echo "screenshots.sh: the window did not appear" >&2; exit 1; }
mkdir -p "$out"
sleep 1
save window-compact.png 127

xdotool mousemove $((left + 308)) $((top + 28)) click 1  # 開始
sleep 5
save window-done.png 127

xdotool mousemove $((left + 28)) $((top + 64)) keydown shift click 3 keyup shift  # 変換先
sleep 2
save window-expanded.png 187
