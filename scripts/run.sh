#!/usr/bin/env bash
# Installs what Pelko needs, builds it and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "${PELKO_JOBS:-2}"
exec build/release/qt/pelko "$@"
