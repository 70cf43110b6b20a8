#!/usr/bin/env bash
# Memory and time of the full check as a site grows: PAGES pages of 10 links
# each, every link a distinct address on the 50 loopback hosts of
# fullcheck_server (each answer delayed 50 ms). Prints, per size, the wall
# time, the peak memory of linkward-cli and the rows it listed.
#
#   bench/fullcheck_scale.sh [PAGES ...]      (default: 1000 10000)
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
server=$BUILD/bench/fullcheck_server
cli=$BUILD/src/cli/linkward-cli
[ -x "$server" ] && [ -x "$cli" ] || { echo "build $server and $cli first" >&2; exit 2; }
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1000 10000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%8s %8s %10s %12s %8s\n' pages links "time s" "peak MB" rows
for pages in "${sizes[@]}"; do
  mkdir -p "$work/served"
  coproc SERVER { exec "$server" "$work/served"; }
  read -r _ port <&"${SERVER[0]}" || { echo "server did not start" >&2; exit 1; }
  site=$work/site$pages
  mkdir -p "$site"
  python3 - "$site" "$pages" "$port" <<'PY'
import sys
site, pages, port = sys.argv[1], int(sys.argv[2]), sys.argv[3]
for p in range(pages):
    links = []
    for k in range(10):
        u = p * 10 + k
        path = "/missing%d" % u if u % 50 == 3 else "/p%d" % u
        links.append('<li><a href="http://127.0.1.%d:%s%s">link %d</a>' % (u % 50 + 1, port, path, u))
    name = "index.html" if p == 0 else "page%05d.html" % p
    with open("%s/%s" % (site, name), "w") as f:
        f.write("<html><body><ul>\n%s\n</ul></body></html>\n" % "\n".join(links))
PY
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$cli" --full --all-files "$site/index.html" >"$work/out" 2>&1
  end=$(date +%s.%N)
  kill -TERM "$SERVER_PID"; wait "$SERVER_PID" 2>/dev/null
  rows=$(grep -c '^  http' "$work/out")
  printf '%8d %8d %10.2f %12.1f %8d\n' "$pages" $((pages * 10)) "$(echo "$end - $start" | bc)" \
    "$(echo "$(tail -1 "$work/mem") / 1024" | bc -l)" "$rows"
done
