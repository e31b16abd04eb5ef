#!/usr/bin/env bash
# Runs every benchmark once, each figure beside its baseline, and writes the
# table to BUILD_DIR/bench-report.md (and prints it).
#
#   bench/report.sh [BUILD_DIR]
#
# Figures that compare two measurements take both in the same run, so that
# the machine's load of the moment weighs on both alike. The windowed
# program's figures come from bench/gui_bench.sh where it exists and the
# build has the windows; otherwise they show "not built".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
out="$build/bench-report.md"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for f in "$build/bench/target_run_bench" "$build/bench/port_scan_bench" "$build/tools/fake-pic32prog"; do
  [ -x "$f" ] || { echo "not built: $f" >&2; exit 2; }
done

figure() {  # figure FILE NAME: the value of "figure NAME VALUE" in FILE
  awk -v n="$2" '$1 == "figure" && $2 == n { print $3 }' "$1"
}
met() {  # met EXPRESSION: yes/no by awk
  awk "BEGIN { print (($1) ? \"yes\" : \"no\") }"
}

echo "running the tool-run benchmark..." >&2
"$build/bench/target_run_bench" "$build/tools/fake-pic32prog" >"$work/run.txt"
echo "running the port scan benchmark..." >&2
"$build/bench/port_scan_bench" 16 >"$work/scan.txt"
pacing=""
if [ -x "$build/tools/micromite-sim" ] && [ -x "$build/korvane" ]; then
  echo "running the upload pacing benchmark..." >&2
  pacing=$("$here/upload_pacing.sh" "$build" | sed -n 's/.*ratio \([0-9.]*\).*/\1/p')
fi
gui=""
if [ -x "$here/gui_bench.sh" ] && [ -x "$build/bench/log_refresh_bench" ]; then
  echo "running the window benchmarks..." >&2
  gui=$("$here/gui_bench.sh" "$build" 2>&1 || true)
fi
gui_value() {  # gui_value PREFIX: the first number after PREFIX in the GUI figures
  printf '%s\n' "$gui" | awk -v p="$1" 'index($0, p) == 1 { s = substr($0, length(p) + 1); if (match(s, /[0-9]+(\.[0-9]+)?/)) { print substr(s, RSTART, RLENGTH); exit } }'
}

silent=$(figure "$work/run.txt" silent_cpu_s)
silentBase=$(figure "$work/run.txt" silent_wait_cpu_s)
intake=$(figure "$work/run.txt" intake_mib_s)
intakeRaw=$(figure "$work/run.txt" intake_raw_mib_s)
scanN=$(figure "$work/scan.txt" scan_devices)
scanEmpty=$(figure "$work/scan.txt" scan_empty_ms)
scanPer=$(figure "$work/scan.txt" scan_per_device_ms)
openClose=$(figure "$work/scan.txt" open_close_ms)
small=$(gui_value "refresh, 100 lines:")
large=$(gui_value "refresh, 100000 lines:")
start=$(gui_value "start to main window:")
rss=$(gui_value "resident memory shown:")

{
  echo "# Benchmark report"
  echo
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(uname -sm), $(nproc) cores; build: ${build##*/}."
  echo
  echo "| figure | goal | measured | baseline | met? |"
  echo "|---|---|---|---|---|"
  echo "| CPU while the tool is silent for 5 s | < 0.05 s | ${silent} s | ${silentBase} s (the same tool only waited for) | $(met "$silent < 0.05") |"
  echo "| log intake, 50 MiB in 64-byte lines | >= 100 MiB/s | ${intake} MiB/s | ${intakeRaw} MiB/s (the same bytes read from the pipe, not interpreted) | $(met "$intake >= 100") |"
  if [ -n "$small" ] && [ -n "$large" ]; then
    ratio=$(awk -v a="$large" -v b="$small" 'BEGIN { printf "%.2f", a / b }')
    echo "| log refresh at 100 000 lines | <= 2 ms | ${large} ms | ${small} ms at 100 lines | $(met "$large <= 2") |"
    echo "| log refresh, 100 000 lines / 100 lines | <= 2 | ${ratio} | 1 | $(met "$ratio <= 2") |"
  else
    echo "| log refresh at 100 and 100 000 lines | <= 2 ms, <= 2x the 100-line case | not built | | |"
  fi
  if [ -n "$pacing" ]; then
    echo "| upload pacing, measured / sum of the waits (100 lines, LineDelay 100 ms) | >= 1.0 and <= 1.01 | ${pacing} | 1.0 (the waits alone) | $(met "$pacing >= 1.0 && $pacing <= 1.01") |"
  else
    echo "| upload pacing | >= 1.0 and <= 1.01 | not built | | |"
  fi
  if [ -n "$start" ]; then
    echo "| start to the first window | (none set) | ${start} ms | | |"
  else
    echo "| start to the first window | | not built | | |"
  fi
  if [ -n "$rss" ]; then
    echo "| resident memory once the window is shown | <= 20 MB | ${rss} MB | | $(met "$rss <= 20") |"
  else
    echo "| resident memory once the window is shown | <= 20 MB | not built | | |"
  fi
  echo "| port scan, per probed device (${scanN} pty devices) | <= 25 ms (the 20 ms pause + 5 ms to open and close) | ${scanPer} ms (open and close alone: ${openClose} ms) | ${scanEmpty} ms for an empty tree | $(met "$scanPer <= 25") |"
} >"$out"
cat "$out"
