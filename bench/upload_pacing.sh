#!/bin/sh
# Pacing of a Program Master upload through the simulated Micromite.
#
#   bench/upload_pacing.sh [BUILD_DIR] [LINES] [LINE_DELAY]
#
# Uploads a master program file of LINES lines (default 100) at LineDelay
# LINE_DELAY ms (default 100) to tools/micromite-sim, already at 115200 baud,
# with the real korvane binary in batch mode. The simulator stamps every byte
# it receives; the upload runs from the first byte (the break) to the port's
# close after the final Ctrl-Z. Its waits add up to (44 + LINES) x LINE_DELAY.
# Prints measured / expected: the goal is at most 1.01 and never below 1.0.
set -eu

build=${1:-build}
lines=${2:-100}
delay=${3:-100}
sim="$build/tools/micromite-sim"
korvane="$build/korvane"
for f in "$sim" "$korvane"; do
  [ -x "$f" ] || { echo "not built: $f" >&2; exit 2; }
done

work=$(mktemp -d)
simpid=
cleanup() {
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$sim" --link "$work/port" --log "$work/sim.log" --speed 115200 >/dev/null &
simpid=$!
i=0
while [ ! -e "$work/sim.log" ] || [ ! -L "$work/port" ]; do
  i=$((i + 1)); [ $i -gt 200 ] && { echo "simulator did not start" >&2; exit 1; }
  sleep 0.01
done

printf '[micromite]\r\nuM SerialSpeed = 115200\r\nLineDelay = %s\r\n[General]\r\nMaster Device = micromite\r\nMM Program = bench.bas\r\ncomport = %s\r\n' \
  "$delay" "$work/port" >"$work/Korvane.inf"
n=1
: >"$work/bench.bas"
while [ $n -le "$lines" ]; do
  printf '%s PRINT "line %s"\r\n' "$n" "$n" >>"$work/bench.bas"
  n=$((n + 1))
done

"$korvane" --settings "$work/Korvane.inf" --program-master >"$work/out.txt" 2>&1 || {
  echo "korvane failed:" >&2; cat "$work/out.txt" >&2; exit 1; }
kill "$simpid"; wait "$simpid" 2>/dev/null || true; simpid=

awk -v lines="$lines" -v delay="$delay" '
  $2 == "rx" && first == "" { first = $1 }
  $2 == "rx" && index($0, "\\x1a") { z = NR; next }
  z != "" && end == "" && ($2 == "close" || $2 == "rx") { end = $1 }
  END {
    if (first == "" || end == "") { print "no complete upload in the simulator log" > "/dev/stderr"; exit 1 }
    measured = (end - first) * 1000
    expected = (44 + lines) * delay
    printf "lines %d, LineDelay %d ms: measured %.1f ms, expected %d ms, ratio %.4f\n", lines, delay, measured, expected, measured / expected
  }' "$work/sim.log"
