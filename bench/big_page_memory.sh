#!/usr/bin/env bash
# Peak memory of the full check on one large page: writes a page of about
# MB megabytes (default 200) of paragraphs, each with an id, a link to
# another paragraph's id, a link to a second page's id, a little non-ASCII
# text and plain text (a link in about 300 bytes, as in the Python docs),
# then runs `linkward-cli --full` on it once and prints the page's size, the
# peak resident memory (/usr/bin/time) and their ratio.
#
#   bench/big_page_memory.sh [MB]
#
# BUILD names the build directory (default: build); DIR where the pages go
# (default: a new directory under /tmp, removed afterwards).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cli=$BUILD/src/cli/linkward-cli
mb=${1:-200}
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (time)" >&2; exit 2; }
if [ -n "${DIR:-}" ]; then
  dir=$DIR
  mkdir -p "$dir"
else
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
fi

printf '<!doctype html><html><body><h1 id="top">Other</h1></body></html>\n' > "$dir/other.html"
awk -v bytes=$((mb * 1000 * 1000)) 'BEGIN {
  print "<!doctype html><html><head><meta charset=\"utf-8\"><title>Big</title></head><body>"
  # About one link in 300 bytes, as in the Python documentation.
  fill = ""
  for (i = 0; i < 8; i++) fill = fill " Filler words that hold no links, only text to read."
  n = 0; size = 0
  while (size < bytes) {
    line = sprintf("<p id=\"p%d\">Paragraph %d, caf\xc3\xa9 and na\xc3\xafve words, " \
                   "with <a href=\"#p%d\">a link back</a> and <a href=\"other.html#top\">one " \
                   "to the other page</a>; the rest is plain text to fill the line.%s</p>",
                   n, n, int(n / 2), fill)
    print line
    size += length(line) + 1
    n++
  }
  print "</body></html>"
}' LC_ALL=C > "$dir/big.html"

bytes=$(stat -c %s "$dir/big.html")
start=$(date +%s.%N)
peak=$( { /usr/bin/time -f '%M' "$cli" --full "$dir/big.html" > "$dir/out.txt"; } 2>&1 | tail -1)
end=$(date +%s.%N)
grep -q 'URL errors: 0\.' "$dir/out.txt" || { echo "the check reported errors:" >&2; tail -5 "$dir/out.txt" >&2; }
awk -v b="$bytes" -v k="$peak" -v s="$start" -v e="$end" 'BEGIN {
  printf "page: %.1f MB\n", b / 1048576
  printf "linkward-cli --full: %.2f s, peak %.1f MB (%.2fx the page)\n", e - s, k / 1024, k * 1024 / b
}'
