#!/usr/bin/env python3
"""Requests a second full check of an unchanged site costs, with the check history.

Serves a site of LINKS links (one address each) spread over HOSTS loopback
hosts (one port each on 127.0.0.1), of which a share answer 404 and a share
301 to a page that exists; runs linkward-cli --full over it with a fresh history (first run, second
run, --no-cache, two --no-cache runs at once, one run after them) and prints
the requests each run cost and its wall time. Fails (exit 1) when the second
run sends more than LIMIT percent of the first run's requests, or the runs at
once warn or leave a history that the run after them cannot reuse.
Broken links are always checked again: with --broken above about 2 % the
limit cannot be met.

  bench/history_rerun.py [--cli build/src/cli/linkward-cli] [--links 1000]
                         [--hosts 50] [--broken 1.0] [--moved 5.0] [--limit 5]
"""
import argparse
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

lock = threading.Lock()
counts = {"requests": 0}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, body):
        with lock:
            counts["requests"] += 1
        path = self.path
        if path.startswith("/missing"):
            status, headers = 404, []
        elif path.startswith("/moved"):
            status, headers = 301, [("Location", "/t" + path[len("/moved"):])]
        else:
            status, headers = 200, [("Content-Type", "text/html")]
        data = b"<html><body>fine</body></html>\n" if status == 200 else b""
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if body:
            self.wfile.write(data)

    def do_HEAD(self):
        self.answer(False)

    def do_GET(self):
        self.answer(True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default="build/src/cli/linkward-cli")
    parser.add_argument("--links", type=int, default=1000)
    parser.add_argument("--hosts", type=int, default=50)
    parser.add_argument("--broken", type=float, default=1.0, help="percent of links answering 404")
    parser.add_argument("--moved", type=float, default=5.0, help="percent of links moved (301)")
    parser.add_argument("--limit", type=float, default=5.0)
    args = parser.parse_args()

    servers = []
    for _ in range(args.hosts):
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        server.daemon_threads = True
        threading.Thread(target=server.serve_forever, daemon=True).start()
        servers.append(server)
    ports = [s.server_address[1] for s in servers]

    broken_every = int(round(100 / args.broken)) if args.broken > 0 else 0
    moved_every = int(round(100 / args.moved)) if args.moved > 0 else 0
    work = tempfile.mkdtemp(prefix="history-bench-")
    site = os.path.join(work, "site")
    os.mkdir(site)
    per_page = 50
    pages = (args.links + per_page - 1) // per_page
    with open(os.path.join(site, "index.html"), "w") as index:
        index.write("<!DOCTYPE html><html><body>\n")
        for p in range(pages):
            index.write(f'<p><a href="page{p + 1:03d}.html">Page {p + 1}</a></p>\n')
            with open(os.path.join(site, f"page{p + 1:03d}.html"), "w") as page:
                page.write("<!DOCTYPE html><html><body>\n")
                for link in range(p * per_page, min(args.links, (p + 1) * per_page)):
                    if broken_every and link % broken_every == 3:
                        path = f"/missing{link}"
                    elif moved_every and link % moved_every == 7:
                        path = f"/moved{link}"
                    else:
                        path = f"/p{link}"
                    port = ports[link % args.hosts]
                    page.write(f'<p><a href="http://127.0.0.1:{port}{path}">link {link}</a></p>\n')
                page.write("</body></html>\n")
        index.write("</body></html>\n")

    env = dict(os.environ)
    for name in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
        env[name] = os.path.join(work, name)
        os.mkdir(env[name], 0o700)

    def run(extra):
        with lock:
            counts["requests"] = 0
        start = time.monotonic()
        done = subprocess.run([args.cli, "--full", "--all-files", *extra,
                               os.path.join(site, "index.html")],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        took = time.monotonic() - start
        rows = sum(1 for line in done.stdout.splitlines() if line.startswith("  "))
        with lock:
            return counts["requests"], took, done.returncode, rows

    print(f"site: {args.links} links on {args.hosts} hosts, {args.broken:g} % broken, "
          f"{args.moved:g} % moved")
    print(f"{'run':<22}{'requests':>10}{'time s':>9}{'rows':>6}{'exit':>6}")
    results = {}
    for name, extra in (("first (empty history)", []), ("second", []),
                        ("third, --no-cache", ["--no-cache"])):
        results[name] = run(extra)
        requests, took, status, rows = results[name]
        print(f"{name:<22}{requests:>10}{took:>9.2f}{rows:>6}{status:>6}")
    # Two runs at once, both writing every verdict: neither may warn, and the
    # history stays whole for the run after them.
    with lock:
        counts["requests"] = 0
    both = [subprocess.Popen([args.cli, "--full", "--all-files", "--no-cache",
                              os.path.join(site, "index.html")], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            for _ in range(2)]
    outputs = [p.communicate()[0] for p in both]
    warned = sum("check history" in out for out in outputs)
    with lock:
        together = counts["requests"]
    after = run([])
    print(f"{'two at once, --no-cache':<22}{together:>10}{'':>9}{'':>6}{'':>6}  warnings: {warned}")
    print(f"{'after them':<22}{after[0]:>10}{after[1]:>9.2f}{after[3]:>6}{after[2]:>6}")
    first = results["first (empty history)"][0]
    second = results["second"][0]
    share = 100.0 * second / first if first else 100.0
    ok = share <= args.limit and warned == 0 and after[0] == second
    print(f"second run: {share:.1f} % of the first run's requests "
          f"(limit {args.limit:g} %): {'ok' if ok else 'TOO MANY'}")
    subprocess.run(["rm", "-rf", work])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
