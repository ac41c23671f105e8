#!/usr/bin/env bash
# Builds the release preset and runs every benchmark once. Extra arguments go to the benchmark
# program, e.g. --benchmark_filter=Interpreter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release -DPELKO_BENCH=ON >/dev/null
cmake --build --preset release -j "${PELKO_JOBS:-2}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
./build/release/bench/pelko_bench "$@"
./build/release/bench/gui/pelko_gui_bench "$@"
