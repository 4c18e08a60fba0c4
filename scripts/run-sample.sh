#!/usr/bin/env bash
# The main job on the bundled sample: copies examples/ to a scratch folder, lets kbnset-cli
# find the data folder there as it would on a school's machine, tries it with --dry-run, runs
# it with a report of what it changed, shows the report, and undoes the run.
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

echo "== kbnset-cli --start-dir $start --dry-run"
"$cli" --start-dir "$start" --dry-run
cmp -s "$data"/KUBUN.KMT "$scratch"/KUBUN.before && echo "(KUBUN.KMT unchanged)"
echo
echo "== kbnset-cli --start-dir $start --report $scratch/report.csv"
status=0
"$cli" --start-dir "$start" --report "$scratch"/report.csv || status=$?
echo "(exit status $status)"
echo

# The report as a spreadsheet shows it: UTF-8 with a byte-order mark, CR LF.
report() { sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$scratch"/report.csv; }
echo "== $scratch/report.csv: what the run changed and what it left empty (first rows)"
report | head -n 12 || true
echo "... $(($(report | wc -l) - 1)) rows"
echo

echo "== kbnset-cli --undo"
undo=0
"$cli" --undo || undo=$?
cmp -s "$data"/KUBUN.KMT "$scratch"/KUBUN.before && echo "(KUBUN.KMT is back as it was before the run)"
[ "$undo" -eq 0 ] || status=$undo
exit "$status"
