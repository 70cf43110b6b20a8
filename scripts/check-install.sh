#!/usr/bin/env bash
# Checks what a build folder installs: into a temporary prefix with
# `cmake --install`, then (as root) as the Debian package made by CPack.
# Usage: scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath "${1:-build}")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-install: $*" >&2
  exit 1
}

# A small test run of an installed linkward-cli, in a home of its own: one page
# with a link to a closed port on loopback, listed as an error.
try_cli() {
  local cli=$1 home=$work/home-$RANDOM
  mkdir -p "$home/config" "$home/cache" "$home/runtime"
  chmod 700 "$home/runtime"
  [ "$("$cli" --version)" = "linkward-cli, Linkward Version $version" ] ||
    fail "$cli --version does not say version $version"
  printf '<html><body><a href="http://127.0.0.1:1/">closed</a></body></html>\n' >"$work/page.htm"
  local status=0 report=$home/report.txt
  XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime \
    "$cli" --mask 111111111111111111111 --timeout 5 --report "$report" "$work/page.htm" \
    >"$home/log.txt" || status=$?
  [ "$status" -eq 1 ] || fail "$cli: exit status $status, expected 1 (one row listed)"
  grep -q 'URLs tested: 1. URL errors: 1.' "$home/log.txt" || fail "$cli: unexpected log"
  grep -q 'http://127.0.0.1:1/' "$report" || fail "$cli did not report the link"
  echo "$cli: a test run listed the closed port"
}

echo "== cmake --install into a temporary prefix"
prefix=$work/prefix
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for file in bin/linkward-cli share/man/man1/linkward-cli.1 share/doc/linkward/help.html \
  share/bash-completion/completions/linkward-cli; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
if [ -x "$prefix/bin/linkward" ]; then
  desktop-file-validate "$prefix/share/applications/linkward.desktop"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/linkward.svg" ] || fail "the icon is not installed"
  appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml
  echo "desktop file and metainfo are valid"
fi
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/man1/linkward-cli.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"
MANWIDTH=80 man -E UTF-8 -l "$prefix/share/man/man1/linkward-cli.1" | grep -q -- '--version' ||
  fail "the manual page does not list the options of --help"
bash -c ". '$prefix/share/bash-completion/completions/linkward-cli' && complete -p linkward-cli" >/dev/null
try_cli "$prefix/bin/linkward-cli"

echo "== The Debian package"
(cd "$build_dir" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/linkward_*.deb)
dpkg-deb --field "$deb" Depends
if [ "$(id -u)" -eq 0 ]; then
  dpkg -i "$deb" >/dev/null
  try_cli /usr/bin/linkward-cli
  dpkg -r linkward >/dev/null
else
  echo "not root: the package is built but not installed"
fi
