#!/usr/bin/env bash
# Checks what the zip for schools holds: both programs, the two HTML pages and the pictures
# they show, under the one versioned folder, and nothing else; every picture a page names is
# in the zip, and no page shows raw Markdown.
# Usage: scripts/check-dist.sh <kbnset-VERSION-win64.zip>
set -euo pipefail
zip=${1:?usage: scripts/check-dist.sh <zip>}
name=$(basename "$zip" -win64.zip)
expected=$(for file in kbnset.exe kbnset-cli.exe guide-ja.html cli-ja.html \
  window-compact.png window-done.png window-expanded.png; do echo "$name/$file"; done | sort)
listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
if [ "$listed" != "$expected" ]; then
  echo "check-dist.sh: $zip holds other files than it should:" >&2
  diff <(echo "$expected") <(echo "$listed") >&2 || true
  exit 1
fi
status=0
for page in guide-ja.html cli-ja.html; do
  html=$(unzip -p "$zip" "$name/$page")
  # Markdown left as text: headings, emphasis or table rows outside code.
  text=$(printf '%s\n' "$html" | sed -e '/<pre/,/<\/pre>/d' -e 's/<code>[^<]*<\/code>//g')
  if printf '%s\n' "$text" | grep -nE '^#{1,6} |\*\*|^\|.*\|$|^!\[' >&2; then
    echo "check-dist.sh: $page shows raw Markdown (lines above)" >&2
    status=1
  fi
  for picture in $(printf '%s' "$html" | grep -o '<img src="[^"]*"' | sed 's/<img src="//; s/"$//'); do
    grep -qx "$name/$picture" <<<"$listed" || { echo "check-dist.sh: $page shows $picture, which is not in the zip" >&2; status=1; }
  done
done
[ "$status" -eq 0 ] && echo "check-dist.sh: $(basename "$zip"): $(wc -l <<<"$listed") files, as expected"
exit "$status"
