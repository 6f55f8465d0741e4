#!/usr/bin/env bash
# Builds the wbvk coder natively with clang, libFuzzer, AddressSanitizer and UBSan, then fuzzes
# the decoder at every depth and the encode/decode round trip for a bounded time. Any finding
# fails the run. The corpus grows under build/, outside the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
out="$root/build/fuzz/velto"
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$out/corpus" "$out/findings"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root" \
  "$root/tests/app/velto/fuzz/coder_fuzz.cpp" "$root/tests/app/velto/fuzz/trace_stub.cpp" \
  "$root/app/velto/source/coder.cpp" -o "$out/coder_fuzz"

cd "$out"
"$out/coder_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$out/findings/" "$out/corpus"
