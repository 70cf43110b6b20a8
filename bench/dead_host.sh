#!/usr/bin/env bash
# Links on a host that does not exist: one page of LINKS distinct addresses on
# nonexistent.invalid (.invalid never resolves), checked by the real
# linkward-cli --full; and, for the program's own start-up and end, one page
# with a single link to a refused local port. Prints the best and the worst
# wall time of RUNS runs each, and the rows listed.
#
#   bench/dead_host.sh [LINKS] [RUNS]      (default: 200 5)
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cli=$BUILD/src/cli/linkward-cli
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 2; }
links=${1:-200}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"
{
  echo '<html><body>'
  for ((i = 0; i < links; i++)); do echo "<a href=\"http://nonexistent.invalid/page$i.html\">p$i</a>"; done
  echo '</body></html>'
} >"$work/dead.html"
echo '<a href="http://127.0.0.1:1/">refused</a>' >"$work/one.html"
printf '%-28s %6s %10s %10s\n' page rows "best s" "worst s"
for page in dead one; do
  best='' worst=''
  for ((r = 0; r < runs; r++)); do
    start=$(date +%s%N)
    "$cli" --full "$work/$page.html" >"$work/out" 2>&1
    end=$(date +%s%N)
    t=$(( (end - start) / 1000000 ))
    [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
    [ -z "$worst" ] || [ "$t" -gt "$worst" ] && worst=$t
  done
  rows=$(grep -c ' - ' "$work/out")
  label=$([ $page = dead ] && echo "$links links, dead host" || echo "1 link, refused (start-up)")
  printf '%-28s %6s %10.3f %10.3f\n' "$label" "$rows" "$(echo "$best/1000" | bc -l)" "$(echo "$worst/1000" | bc -l)"
done
