#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a short fixed time on the
# committed corpus. Fails on any crash, leak, sanitizer report or slow input.
# Usage: fuzz/run-short.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DPILEOGRAPH_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j4 --target fuzz_report fuzz_fasta fuzz_quality fuzz_parseutils fuzz_gzip >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in report fasta quality parseutils gzip; do
  mkdir -p "$work/$t"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  echo "-- fuzz_$t for ${secs}s"
  # The run writes its side files (usrctest.fa) and any crash input into $work.
  if ! (cd "$work" && "$root/build-fuzz/fuzz/fuzz_$t" "$work/$t" "$root/fuzz/corpus/$t" "${dict[@]}" \
        -max_total_time="$secs" -timeout=5 -rss_limit_mb=2048 -malloc_limit_mb=2048 -max_len=65536 \
        -print_final_stats=0 -artifact_prefix="$work/" >"$work/$t.log" 2>&1); then
    echo "fuzz_$t FAILED:"; tail -n 60 "$work/$t.log"
    for a in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
      [ -f "$a" ] && { echo "input $(basename "$a") (base64):"; base64 "$a" | head -c 4000; echo; }
    done
    status=1
  else
    grep -E '^(Done|#[0-9]+ *DONE)' "$work/$t.log" | tail -n 1 || true
  fi
done
exit $status
