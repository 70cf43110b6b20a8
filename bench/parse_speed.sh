#!/usr/bin/env bash
# Times the full check's local work on a documentation tree against libxml2
# alone: one `linkward-cli --full --recurse` over the tree with every remote
# link left out (--exclude), then one `xmllint --html --noout` over the same
# HTML pages on one core, in one run. Prints the pages, their megabytes, both
# wall times and the full check's peak memory.
#
#   bench/parse_speed.sh DIR [START]
#
# START is the file the check starts from (default: DIR/index.html); BUILD
# names the build directory (default: build).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cli=$BUILD/src/cli/linkward-cli
dir=${1:?usage: bench/parse_speed.sh DIR [START]}
start=${2:-$dir/index.html}
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 2; }
command -v xmllint >/dev/null || { echo "xmllint is missing (libxml2-utils)" >&2; exit 2; }

list=$(mktemp)
trap 'rm -f "$list"' EXIT
find "$dir" -type f \( -iname '*.html' -o -iname '*.htm' -o -iname '*.xhtml' \) -print0 > "$list"
pages=$(tr -cd '\0' < "$list" | wc -c)
bytes=$(xargs -0 cat < "$list" | wc -c)

now() { date +%s.%N; }
t0=$(now)
peak=$( { /usr/bin/time -f '%M' "$cli" --full --recurse --exclude '^(https?|ftp):' "$start" \
  > /dev/null; } 2>&1 | tail -1)
t1=$(now)
xargs -0 xmllint --html --noout < "$list" > /dev/null 2>&1
t2=$(now)
awk -v p="$pages" -v b="$bytes" -v a="$t0" -v m="$t1" -v e="$t2" -v k="$peak" 'BEGIN {
  printf "%d pages, %.1f MB\n", p, b / 1e6
  printf "linkward-cli --full (local links): %.2f s, peak %.0f MB\n", m - a, k / 1024
  printf "xmllint --html --noout:            %.2f s\n", e - m
}'
