#!/bin/sh
# Builds the page parser's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a bounded time. The target is
# the parser test built with LINKWARD_FUZZ: libFuzzer feeds its page check.
# Usage: tests/check/fuzz/run.sh [SECONDS]   (default 60)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../../../src
out=${TMPDIR:-/tmp}/linkward-fuzz
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -DLINKWARD_FUZZ -I"$src" \
  "$here/../PageParser_test.cpp" "$src/check/PageParser.cpp" "$src/check/PageEncoding.cpp" "$src/check/MarkdownPage.cpp" \
  $(pkg-config --cflags --libs libxml-2.0 md4c) -lgtest -pthread -o "$out/page_parser_fuzz"
printf '<a href="a.html?x=1&amp;y=2">A</a><img srcset="b.png 1x, c.png 2x" alt=B>' \
  > "$out/corpus/seed.html"
"$out/page_parser_fuzz" -max_total_time="${1:-60}" -max_len=4096 "$out/corpus"
