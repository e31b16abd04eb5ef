#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60), starting from the
# seed corpus in fuzz/corpus/<target>; findings land in build-fuzz/findings.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
export CC=clang-14 CXX=clang++-14
cmake -S . -B build-fuzz -DKORVANE_FUZZ=ON -DKORVANE_GUI=OFF -DKORVANE_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null
mkdir -p build-fuzz/findings
for target in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus=fuzz/corpus/${name%_fuzz}
  work=build-fuzz/corpus/${name%_fuzz}
  mkdir -p "$corpus" "$work"
  echo "== $name, ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build-fuzz/findings/"$name"- \
    "$work" "$corpus" 2>&1 | grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==|SUMMARY|Done)' || true
  if ls build-fuzz/findings/"$name"-* >/dev/null 2>&1; then
    echo "$name: findings in build-fuzz/findings" >&2
    exit 1
  fi
done
