#!/usr/bin/env bash
# Runs kbnset-cli on hostile category files and prints what it said and its peak memory
# (maximum resident set size from /usr/bin/time -v). Usage: hostile-memory.sh CLI SCRATCH
set -eu
cli=$(realpath "$1")
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

header=$'1,2,0,"","",""\r\n'
record=$'"ippan",0,"name","1","A",0,"",0,0,"","",0,0\r\n'
as() { head -c "$1" /dev/zero | tr '\0' a; }
repeat() { for _ in $(seq "$1"); do printf '%s' "$record"; done; }

write_case() {
    mkdir -p "$1/start" "$1/data"
    for ref in E_KUBUN.KMT J_KUBUN.KMT; do
        printf '%s"ippan",0,"name","1","A",0,"",0,0,"C","",0,0\r\n' "$header" >"$1/start/$ref"
    done
}
write_case full-table;      { printf '%s' "$header"; repeat 5011; } >full-table/data/KUBUN.KMT
write_case no-separator;    as 100000000 >no-separator/data/KUBUN.KMT
write_case million-records; { printf '%s' "$header"; awk -v r="$record" 'BEGIN { ORS=""; for (i = 0; i < 1000000; i++) print r }'; } >million-records/data/KUBUN.KMT
write_case value-10mb;      { printf '%s"' "$header"; as 10000000; printf '"\r\n'; } >value-10mb/data/KUBUN.KMT
write_case nul-bytes;       head -c 1000000 /dev/zero >nul-bytes/data/KUBUN.KMT
write_case directory;       mkdir directory/data/KUBUN.KMT

printf '%-16s %10s %6s  %s\n' case "peak KiB" status "what it said"
for dir in full-table no-separator million-records value-10mb nul-bytes directory; do
    status=0
    /usr/bin/time -v -o time.txt "$cli" --data-dir "$PWD/$dir/data" --start-dir "$PWD/$dir/start" \
        >out.txt 2>err.txt || status=$?
    peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
    said=$(grep -v '^[EJ]_KUBUN' err.txt out.txt | cut -d: -f2- | head -n 2 | paste -sd ' ')
    printf '%-16s %10s %6s  %s\n' "$dir" "$peak" "$status" "$said"
done
