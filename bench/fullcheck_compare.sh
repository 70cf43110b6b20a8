#!/usr/bin/env bash
# Times whole link checkers on the full check's remote site (bench/FullCheckSite.h):
# 20 pages, 1,000 links (786 distinct) over 127.0.1.1..127.0.1.50, 50 ms per
# answer, 100 links 404 (78 addresses), 50 links 301. For each checker it
# starts a fresh site server, runs the checker, and prints side by side: the
# wall time, the most connections one host had open at once, the most requests
# one address got, all requests, and how many distinct broken addresses
# ("missing<n>") the checker's output names (78 means every one was found).
#
#   bench/fullcheck_compare.sh [NAME=COMMAND ...]
#
# COMMAND is run by bash; {index} stands for the site's index.html, {dir} for
# its directory, {url} for file://{index}, {port} for the hosts' port. Without arguments: the in-process
# checker (remote_check_timing, the remote links only), then linkward-cli --full, linkinator and
# LinkChecker when they are installed. BUILD names the build directory
# (default: build).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
server=$BUILD/bench/fullcheck_server
timing=$BUILD/bench/remote_check_timing
[ -x "$server" ] || { echo "build $server first (cmake --build $BUILD --target fullcheck_server)" >&2; exit 2; }

commands=("$@")
if [ ${#commands[@]} -eq 0 ]; then
  [ -x "$timing" ] && commands+=("CHttpChecker=$timing --port {port}")
  if "$BUILD/src/cli/linkward-cli" --help 2>&1 | grep -q -- --full; then
    commands+=("linkward-cli=$BUILD/src/cli/linkward-cli --full --all-files {index}")
  fi
  if command -v linkinator >/dev/null; then
    commands+=("linkinator=linkinator {dir} --recurse")
  elif timeout 60 npx --no-install linkinator --version >/dev/null 2>&1; then
    commands+=("linkinator=npx --no-install linkinator {dir} --recurse")
  fi
  command -v linkchecker >/dev/null && commands+=("linkchecker=linkchecker --no-status --check-extern {url}")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
rows=()
for entry in "${commands[@]}"; do
  name=${entry%%=*}
  cmd=${entry#*=}
  site=$work/$name
  mkdir -p "$site" && chmod 755 "$site"
  coproc SERVER { exec "$server" "$site"; }
  read -r ready port <&"${SERVER[0]}" || { echo "server did not start" >&2; exit 1; }
  chmod -R a+r "$site"
  cmd=${cmd//\{index\}/$site/index.html}
  cmd=${cmd//\{dir\}/$site}
  cmd=${cmd//\{url\}/file://$site/index.html}
  cmd=${cmd//\{port\}/$port}
  start=$(date +%s.%N)
  bash -c "$cmd" >"$work/$name.out" 2>&1
  status=$?
  end=$(date +%s.%N)
  kill -TERM "$SERVER_PID"
  read -r _ requests _ maxconn _ maxreq <&"${SERVER[0]}"
  wait "$SERVER_PID" 2>/dev/null
  found=$(grep -o 'missing[0-9]*' "$work/$name.out" | sort -u | wc -l)
  rows+=("$(printf '%-20s %8.2f %10s %12s %9s %8s %7s' "$name" "$(echo "$end - $start" | bc)" \
    "$maxconn" "$maxreq" "$requests" "$found/78" "$status")")
done
printf '%-20s %8s %10s %12s %9s %8s %7s\n' checker "time s" conn/host requests/URL requests broken exit
for row in "${rows[@]}"; do echo "$row"; done
