#!/usr/bin/env bash
# The whole suite from a fresh clone: installs what it needs, then builds and tests the release,
# ASan+UBSan and TSan builds, and runs every fuzz target for PELKO_FUZZ_SECONDS (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs="${PELKO_JOBS:-2}"
runtime="$(mktemp -d /tmp/pelko-xdg.XXXXXX)"
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

for preset in release asan tsan fuzz; do
  extra=()
  [ "$preset" = fuzz ] && extra=(-DPELKO_FUZZ_SECONDS="${PELKO_FUZZ_SECONDS:-30}")
  cmake --preset "$preset" "${extra[@]}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# ThreadSanitizer needs an address space layout it can map; newer kernels randomise too much.
tsan_prefix=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_prefix=(setarch "$(uname -m)" -R)
fi

ctest --preset release -j "$jobs"
ctest --preset asan -j "$jobs"
"${tsan_prefix[@]}" ctest --preset tsan
ctest --preset fuzz -j "$jobs"
