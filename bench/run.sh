#!/usr/bin/env bash
# Prints every benchmark figure of a build: bench/run.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
"$build/bench/target_run_bench" "$build/tools/fake-pic32prog"
if [ -x "$build/tools/micromite-sim" ]; then
  "$(dirname "$0")/upload_pacing.sh" "$build"
fi
if [ -x "$build/bench/log_refresh_bench" ]; then
  "$(dirname "$0")/gui_bench.sh" "$build"
fi
