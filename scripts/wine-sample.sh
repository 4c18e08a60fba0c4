# Sourced by gui.sh and screenshots.sh: lays out a fresh copy of examples/ in folder $1 as a
# school's machine has it (data folder with KUBUN.KMT and ZORVEL.SEW, start folder with the
# reference files) and points the suite's settings value in the Wine prefix at it.
# Needs WINEPREFIX, LANG=ja_JP.UTF-8 and $root (the repository).
wine_sample() {
  local scratch=$1
  rm -rf "$scratch"
  mkdir -p "$scratch"/data "$scratch"/start
  scratch=$(cd "$scratch" && pwd)
  cp "$root"/examples/KUBUN.KMT "$scratch"/data/
  cp "$root"/examples/E_KUBUN.KMT "$root"/examples/J_KUBUN.KMT "$scratch"/start/

  local data
  data=$(winepath -w "$scratch/data" 2>/dev/null)
  # The eighth item of ZORVEL.SEW names the data folder; point it at the copy.
  local escaped
  escaped=$(printf '%s' "$data" | sed 's/[&|\\]/\\&/g')
  iconv -f CP932 -t UTF-8 "$root"/examples/ZORVEL.SEW |
    sed -E "s|,\"[^\"]*\"\r\$|,\"$escaped\"\r|" |
    iconv -f UTF-8 -t CP932 >"$scratch"/data/ZORVEL.SEW
  wine reg add 'HKCU\Software\VB and VBA Program Settings\R-ZORVEL\SCHOOL' \
    /v DIR_ME /t REG_SZ /d "$data" /f >/dev/null 2>&1
  sample_start=$scratch/start
}
