#!/usr/bin/env bash
# Builds the remote control's libFuzzer target with clang (address and undefined-behaviour
# sanitizers): the HTTP request parser, the access decision (fetch metadata, access key), the
# connection limits and the wrong-key limiter. Runs it for a bounded time. Not part of the tests.
#   scripts/fuzz-http.sh [SECONDS]     (default 60)
# Findings land in build-fuzz/ (crash-*, leak-*); the corpus grows in build-fuzz/corpus.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/build-fuzz"
mkdir -p "$out/corpus"
cp -n "$root"/fuzz/corpus/http/* "$out/corpus/" 2>/dev/null || true

# Qt is built with -reduce-relocations, so code using it must be position independent.
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" $(pkg-config --cflags Qt6Core Qt6Network) \
  "$root/fuzz/http_request_parser_fuzzer.cpp" \
  "$root"/src/remote/{HttpRequestParser,AccessKey,HostCheck,RequestAccess,ConnectionLimits,WrongKeyLimiter}.cpp \
  $(pkg-config --libs Qt6Core Qt6Network) -o "$out/http_request_parser_fuzzer"

cd "$out"
./http_request_parser_fuzzer -max_total_time="$seconds" -max_len=20000 -timeout=10 \
  -print_final_stats=1 corpus
