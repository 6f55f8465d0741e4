#!/usr/bin/env bash
# Builds the MP3 frame scanner natively with clang, libFuzzer, AddressSanitizer and UBSan, then
# fuzzes it for a bounded time, seeded with the LAME fixtures cut into samples of several sizes.
# Any finding fails the run. The corpus grows under build/, outside the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
here="$root/tests/app/deze/fuzz"
out="$root/build/fuzz/mp3"
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$out/corpus" "$out/findings"

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$here/host" -I"$root" \
  "$here/mp3_fuzz.cpp" "$root/app/deze/source/mp3.cpp" -o "$out/mp3_fuzz"

# The first byte of an input is the sample size (0: the whole stream at once). A few frames of
# each fixture are seed enough, and short inputs keep the runs fast.
for fixture in "$root"/tests/app/deze/mp3/*.mp3; do
  name=$(basename "$fixture" .mp3)
  for piece in 00 01 68 ff; do
    seed="$out/corpus/seed_${name}_$piece"
    [ -f "$seed" ] || { printf "\\x$piece"; head -c 1500 "$fixture"; } > "$seed"
  done
done

cd "$out"
"$out/mp3_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
  -artifact_prefix="$out/findings/" "$out/corpus"
