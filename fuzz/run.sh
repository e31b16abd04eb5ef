#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for SECONDS each (default 60),
# starting from the seed corpus in fuzz/corpus/<target>; findings land in
# build-fuzz/findings.
#   fuzz/run.sh [SECONDS] [TARGET...]      e.g. fuzz/run.sh 600 settings_fuzz
# A crash, a leak, a run out of memory or a hung input fails the run, after
# every target has had its turn. An input that was only slow (on a loaded
# machine that says little) is kept in the findings and reported.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
export CC=clang-14 CXX=clang++-14
cmake -S . -B build-fuzz -DKORVANE_FUZZ=ON -DKORVANE_GUI=OFF -DKORVANE_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null
mkdir -p build-fuzz/findings
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in build-fuzz/fuzz/*_fuzz; do targets+=("$(basename "$t")"); done
fi
failed=0
for name in "${targets[@]}"; do
  target=build-fuzz/fuzz/$name
  corpus=fuzz/corpus/${name%_fuzz}
  work=build-fuzz/corpus/${name%_fuzz}
  mkdir -p "$corpus" "$work"
  echo "== $name, ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/"$name"- "$work" "$corpus" 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==|SUMMARY|Done)' || true
  for kind in crash leak oom timeout; do
    if ls build-fuzz/findings/"$name"-"$kind"-* >/dev/null 2>&1; then
      echo "$name: $kind findings in build-fuzz/findings" >&2
      failed=1
    fi
  done
  if ls build-fuzz/findings/"$name"-slow-unit-* >/dev/null 2>&1; then
    echo "$name: slow inputs (not failures) in build-fuzz/findings" >&2
  fi
done
exit $failed
