# Sourced by run-sample.sh, gui.sh and screenshots.sh: the bundled sample school (examples/)
# laid out as a school's machine has it. Needs $root (the repository).

# Writes examples/ZORVEL.SEW to $2 with its eighth item, the data folder, set to $1 (the
# folder as the program will see it).
sample_sew() {
  local escaped
  escaped=$(printf '%s' "$1" | sed 's/[&|\\]/\\&/g')
  iconv -f CP932 -t UTF-8 "$root"/examples/ZORVEL.SEW |
    sed -E "s|,\"[^\"]*\"\r\$|,\"$escaped\"\r|" |
    iconv -f UTF-8 -t CP932 >"$2"
}

# A fresh copy in folder $1 for kbnset.exe under Wine (data folder with KUBUN.KMT and
# ZORVEL.SEW, start folder with the reference files), with the suite's settings value in the
# Wine prefix pointing at it. Needs the environment of scripts/wine-env.
wine_sample() {
  local scratch=$1
  rm -rf "$scratch"
  mkdir -p "$scratch"/data "$scratch"/start
  scratch=$(cd "$scratch" && pwd)
  cp "$root"/examples/KUBUN.KMT "$scratch"/data/
  cp "$root"/examples/E_KUBUN.KMT "$root"/examples/J_KUBUN.KMT "$scratch"/start/

  local data
  data=$(winepath -w "$scratch/data" 2>/dev/null)
  sample_sew "$data" "$scratch"/data/ZORVEL.SEW
  wine reg add 'HKCU\Software\VB and VBA Program Settings\R-ZORVEL\SCHOOL' \
    /v DIR_ME /t REG_SZ /d "$data" /f >/dev/null 2>&1
  sample_start=$scratch/start
}
