#!/bin/sh
# Figures of the windowed program: log refresh time at 100 and 100000 lines,
# time from start to the main window shown, and resident memory then.
# Usage: bench/gui_bench.sh [BUILD_DIR]   (runs itself under xvfb-run without a display)
set -eu
build=${1:-build}
build=$(cd "$build" && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a "$0" "$build"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/log_refresh_bench" "$work/refresh.inf"

# Start to window: from the fork to the window being mapped, best of 5.
best=""
rss=""
for i in 1 2 3 4 5; do
  t0=$(date +%s%N)
  "$build/korvane" --settings "$work/start.inf" >/dev/null 2>&1 &
  pid=$!
  id=""
  while [ -z "$id" ]; do
    id=$(xdotool search --onlyvisible --name '^Korvane!$' 2>/dev/null | head -n1 || true)
  done
  t1=$(date +%s%N)
  ms=$(( (t1 - t0) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  sleep 0.3
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  "$build/tests/gui/x-close-window" "$id"
  wait "$pid" || true
done
echo "start to main window:   $best ms (best of 5)"
echo "resident memory shown:  $((rss / 1024)).$(( (rss % 1024) * 10 / 1024 )) MB ($rss kB)"
