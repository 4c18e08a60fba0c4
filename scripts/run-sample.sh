#!/usr/bin/env bash
# The main job on the bundled sample: copies examples/ to a scratch folder, lets kbnset-cli
# find the data folder there as it would on a school's machine, runs it and shows what
# changed in KUBUN.KMT.
# Usage: scripts/run-sample.sh <path of kbnset-cli> <scratch folder>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <kbnset-cli> <scratch folder>" >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli=$1
[ -x "$cli" ] || { echo "run-sample.sh: $cli not found; build it with 'make native'" >&2; exit 1; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")

rm -rf "$2"
mkdir -p "$2"/data "$2"/start "$2"/config
scratch=$(cd "$2" && pwd)
data=$scratch/data
start=$scratch/start
cp "$root"/examples/KUBUN.KMT "$data"/
cp "$root"/examples/E_KUBUN.KMT "$root"/examples/J_KUBUN.KMT "$start"/
cp "$data"/KUBUN.KMT "$scratch"/KUBUN.before

# Discovery as on a school's machine: the settings store names the data folder, and the
# eighth item of its ZORVEL.SEW names it again (rewritten here to the scratch folder).
export XDG_CONFIG_HOME=$scratch/config
printf '[SCHOOL]\nDIR_ME=%s\n' "$data" >"$XDG_CONFIG_HOME"/R-ZORVEL.ini
. "$root"/scripts/sample.sh
sample_sew "$data" "$data"/ZORVEL.SEW

decode() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r'; }

echo "== kbnset-cli --start-dir $start --dry-run"
"$cli" --start-dir "$start" --dry-run
cmp -s "$data"/KUBUN.KMT "$scratch"/KUBUN.before && echo "(KUBUN.KMT unchanged)"
echo
echo "== kbnset-cli --start-dir $start"
status=0
"$cli" --start-dir "$start" || status=$?
echo "(exit status $status)"
echo

decode "$scratch"/KUBUN.before >"$scratch"/before.txt
decode "$data"/KUBUN.KMT >"$scratch"/after.txt
echo "== What changed in $data/KUBUN.KMT"
# The save writes the records in the order it read them, so line n before is line n after.
awk '
  function fields(line, out,   n, i, c, quoted, value) {
    n = 0; value = ""; quoted = 0
    for (i = 1; i <= length(line); i++) {
      c = substr(line, i, 1)
      if (c == "\"") { quoted = !quoted; continue }
      if (c == "," && !quoted) { out[++n] = value; value = ""; continue }
      value = value c
    }
    out[++n] = value
    return n
  }
  FNR == NR { before[FNR] = $0; next }
  FNR == 1 { next }
  {
    fields(before[FNR], b); fields($0, a)
    if (b[10] != a[10]) {
      filled++
      # One example per subject, and a few "養護" names (found by the name they contain).
      if (!(a[5] in shown) || (index(a[3], "養護") == 1 && ++nursing <= 4)) {
        shown[a[5]] = 1
        printf "  filled   %s [%s]: \"%s\"\n", a[3], a[5], a[10]
      }
    }
    if (b[4] != a[4] && ++codes <= 3) printf "  code     %s [%s]: %s -> %s\n", a[3], a[5], b[4], a[4]
    if (a[1] != "管理" && a[10] == "") empty = empty "  " a[3]
  }
  END {
    printf "  still empty:%s\n", empty
    printf "records %d, classifications filled %d, codes normalised %d\n", FNR - 1, filled, codes
  }
' "$scratch"/before.txt "$scratch"/after.txt
echo
echo "== diff (first lines)"
diff "$scratch"/before.txt "$scratch"/after.txt | head -n 8 || true
exit "$status"
