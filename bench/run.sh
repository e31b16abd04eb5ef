#!/usr/bin/env bash
# Prints every benchmark figure of a build: bench/run.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
"$build/bench/target_run_bench" "$build/tools/fake-pic32prog"
