#!/usr/bin/env python3
"""Times linkward-cli --full on generated static sites of local links.

doc site: 2,000 pages in 200 folders, 100,000 relative links, half of them with
#fragments; 2 % lead to missing pages and 2 % to missing fragments. The check
must list every one of them (and nothing else); the goal is under 1.0 s.

big site: 100,000 links over 10,000 pages: wall time and peak memory (the goal
is under 300 MB). The doc site is also run on one core (taskset), to show what
the second parsing thread brings.

With --peers, the doc site is also checked by linkinator (--recurse
--check-fragments) and LinkChecker (with its anchor check) when they are
installed, and their wall times are printed beside Linkward's. Each may take
minutes.

Usage: bench/full_check_sites.py [path/to/linkward-cli] [--keep] [--peers]
"""
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def build_site(root, folders, pages_per_folder, links_per_page, sections=10, seed=1):
    rng = random.Random(seed)
    expected = set()  # (file, url as written) of every link that must be listed
    total_links = 0
    pages = [(f, p) for f in range(folders) for p in range(pages_per_folder)]
    with open(os.path.join(root, "index.html"), "w") as index:
        index.write("<!DOCTYPE html><html><head><title>Docs</title></head><body><ul>\n")
        for f in range(folders):
            index.write(f'<li><a href="f{f}/p0.html">Folder {f}</a></li>\n')
        index.write("</ul></body></html>\n")
    for f in range(folders):
        os.makedirs(os.path.join(root, f"f{f}"), exist_ok=True)
    for (f, p) in pages:
        path = os.path.join(root, f"f{f}", f"p{p}.html")
        out = [f"<!DOCTYPE html>\n<html><head><title>Page {f}.{p}</title>"
               f'<link rel="stylesheet" href="../style.css"></head><body>\n<h1 id="top">Page</h1>\n']
        per_section = links_per_page // sections
        for s in range(sections):
            out.append(f'<h2 id="s{s}">Section {s}</h2>\n<ul>\n')
            for k in range(per_section):
                tf, tp = pages[rng.randrange(len(pages))]
                href = f"p{tp}.html" if tf == f else f"../f{tf}/p{tp}.html"
                roll = rng.random()
                frag = rng.random() < 0.5
                if roll < 0.02:
                    href = href.replace(f"p{tp}.html", f"missing{tp}.html")
                    bad = True
                elif roll < 0.04:
                    href += f"#nosuch{k}"
                    bad = True
                else:
                    if frag:
                        href += f"#s{rng.randrange(sections)}"
                    bad = False
                if bad:
                    expected.add((path, href))
                out.append(f'<li><a href="{href}">Entry {k} of section {s}</a></li>\n')
                total_links += 1
            out.append("</ul>\n")
        out.append("</body></html>\n")
        with open(path, "w") as page:
            page.write("".join(out))
    with open(os.path.join(root, "style.css"), "w") as css:
        css.write("body{}\n")
    return expected, total_links


def run(cli, site, label, expected, total_links, prefix=()):
    home = tempfile.mkdtemp(prefix="lw-home-")
    report = os.path.join(home, "report.txt")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home)
    args = list(prefix) + [cli, "--full", "--all-files", "--recurse", "--filter", "--report", report, "--yes",
            os.path.join(site, "index.html")]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.run(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    listed = set()
    current = None
    with open(report) as r:
        for line in r:
            line = line.rstrip("\n")
            if line.startswith("FILE: "):
                current = line[6:]
            elif line and current:
                listed.add((current, line.split("\t")[0]))
    shutil.rmtree(home, ignore_errors=True)
    html_mb = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(site)
                  for n in ns if n.endswith(".html")) / 1e6
    missing = expected - listed
    extra = listed - expected
    print(f"{label}: {total_links} links, {html_mb:.1f} MB of HTML: {elapsed:.2f} s wall, "
          f"{after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime:.2f} s CPU, "
          f"peak memory {after.ru_maxrss / 1024:.0f} MB; broken: {len(expected)} expected, "
          f"{len(listed)} listed, {len(missing)} missed, {len(extra)} wrongly listed; "
          f"exit status {proc.returncode}")
    return not missing and not extra


def run_peers(site):
    """Times the peers on site, each with its fragment check on."""
    peers = []
    linkinator = shutil.which("linkinator")
    if linkinator:
        peers.append(("linkinator", [linkinator, site, "--recurse", "--check-fragments"], {}))
    linkchecker = shutil.which("linkchecker")
    if linkchecker:
        config = os.path.join(tempfile.mkdtemp(prefix="lw-lc-"), "linkcheckerrc")
        with open(config, "w") as c:
            c.write("[AnchorCheck]\n")
        os.chmod(os.path.dirname(config), 0o755)
        os.chmod(config, 0o644)
        os.chmod(os.path.dirname(site), 0o755)
        for d, _, _ in os.walk(site):
            os.chmod(d, 0o755)
        peers.append(("LinkChecker", [linkchecker, "--no-status", "-f", config,
                                      "file://" + os.path.join(site, "index.html")], {}))
    for name, args, _ in peers:
        start = time.monotonic()
        try:
            proc = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=900)
            status = proc.returncode
        except subprocess.TimeoutExpired:
            status = "killed after 900 s"
        print(f"{name} on the doc site: {time.monotonic() - start:.1f} s wall; exit status {status}")


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    keep = "--keep" in sys.argv
    cli = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "build", "src", "cli",
                                            "linkward-cli")
    cli = os.path.abspath(cli)
    ok = True
    work = tempfile.mkdtemp(prefix="lw-sites-")
    try:
        doc = os.path.join(work, "doc")
        os.makedirs(doc)
        expected, links = build_site(doc, folders=200, pages_per_folder=10, links_per_page=50)
        ok &= run(cli, doc, "doc site (2,000 pages)", expected, links)
        if "--peers" in sys.argv:
            run_peers(doc)
        if shutil.which("taskset"):
            ok &= run(cli, doc, "doc site on one core", expected, links, ("taskset", "-c", "0"))
        big = os.path.join(work, "big")
        os.makedirs(big)
        expected, links = build_site(big, folders=500, pages_per_folder=20, links_per_page=10,
                                     sections=5, seed=2)
        ok &= run(cli, big, "big site (10,000 pages)", expected, links)
    finally:
        if keep:
            print("sites kept in", work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
