#!/usr/bin/env bash
# Installs what Pelko needs, builds it and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "${PELKO_JOBS:-2}"
if [ -x build/release/platform/qt/pelko ]; then
  exec build/release/platform/qt/pelko "$@"
fi
# Until the window is built: the terminal core on standard input, screen printed at the end.
exec build/release/pelko_console "$@"
