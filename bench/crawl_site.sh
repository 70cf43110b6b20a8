#!/usr/bin/env bash
# Time of the full check of a live site from its address: a loopback site of
# PAGES pages (python3 -m http.server over a generated tree, a robots.txt),
# each page with 10 links to other pages of the site (some with fragments,
# one in 40 missing, one in 40 a fragment that is not there), an image and
# one link out of scope. Times the real linkward-cli --full URL and prints
# the pages it listed, its processor time, its peak memory and the rows;
# then, as the server's own floor, the time of one curl process fetching
# every page once, one after another.
#
#   PER_HOST=N bench/crawl_site.sh [PAGES ...]   (default: 2000 pages; --per-host 2)
# KEEP=1 keeps the work directory (the site and the output) for a look.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
cli=$BUILD/src/cli/linkward-cli
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 2; }
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(2000)
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf '%8s %8s %10s %10s %10s %8s %12s\n' pages listed "time s" "cpu s" "peak MB" rows \
  "curl floor s"
for pages in "${sizes[@]}"; do
  site=$work/site$pages
  rm -rf "$site"
  mkdir -p "$site/docs"
  python3 - "$site" "$pages" <<'PY'
import sys, random
site, pages = sys.argv[1], int(sys.argv[2])
random.seed(7)
with open(site + "/robots.txt", "w") as f:
    f.write("User-agent: *\nDisallow: /docs/private/\n")
with open(site + "/outside.html", "w") as f:
    f.write("<p>out of scope</p>\n")
with open(site + "/docs/logo.png", "wb") as f:
    f.write(b"\x89PNG" + bytes(2000))
def name(p):
    return "index.html" if p == 0 else "page%05d.html" % p
for p in range(pages):
    links = ['<a href="%s">next</a>' % name((p + 1) % pages)]
    for k in range(9):
        u = p * 10 + k
        t = random.randrange(pages)
        if u % 40 == 3:
            href = "missing%d.html" % u
        elif u % 40 == 7:
            href = "%s#nowhere" % name(t)
        elif k % 3 == 0:
            href = "%s#s%d" % (name(t), t % 5)
        else:
            href = name(t)
        links.append('<a href="%s">link %d</a>' % (href, u))
    body = "\n".join("<li>" + l for l in links)
    heads = "\n".join('<h2 id="s%d">Section %d</h2><p>%s</p>' % (i, i, "text " * 40) for i in range(5))
    with open("%s/docs/%s" % (site, name(p)), "w") as f:
        f.write('<!doctype html><html><head><title>Page %d</title></head><body>\n%s\n'
                '<img src="logo.png" alt="logo"><a href="/outside.html">out</a>\n'
                '<ul>\n%s\n</ul></body></html>\n' % (p, heads, body))
PY
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1',$port),1)" 2>/dev/null && break
    sleep 0.1
  done
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S %M' -o "$work/mem" "$cli" --full --per-host "${PER_HOST:-2}" \
    "http://127.0.0.1:$port/docs/index.html" >"$work/out" 2>&1
  end=$(date +%s.%N)
  (cd "$site" && find docs -name '*.html' |
    sed "s|.*|url = \"http://127.0.0.1:$port/&\"\noutput = \"/dev/null\"|") >"$work/urls"
  floorStart=$(date +%s.%N)
  curl -s -K "$work/urls"
  floorEnd=$(date +%s.%N)
  kill "$server"
  wait "$server" 2>/dev/null
  server=
  listed=$(grep -c '^Results for ' "$work/out")
  rows=$(grep -c '^  ' "$work/out")
  read -r user sys mem < <(tail -1 "$work/mem")
  printf '%8d %8d %10.2f %10.2f %10.1f %8d %12.2f\n' "$pages" "$listed" \
    "$(python3 -c "print($end - $start)")" "$(python3 -c "print($user + $sys)")" \
    "$(python3 -c "print($mem / 1024)")" "$rows" \
    "$(python3 -c "print($floorEnd - $floorStart)")"
done
