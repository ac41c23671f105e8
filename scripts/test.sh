#!/usr/bin/env bash
# The whole suite from a fresh clone: installs the packages it builds with, then builds and
# tests one preset after the other: the release build (with the Debian package, checked and used
# unpacked in a temporary folder), the ASan+UBSan build, the TSan build (the threaded tests) and
# the fuzz targets, each given PELKO_FUZZ_SECONDS (default 30) of one core. Each build holds
# only what its tests use. A preset that fails does not stop the others; the status is 1 if any
# failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs="${PELKO_JOBS:-2}"
runtime="$(mktemp -d /tmp/pelko-xdg.XXXXXX)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# ThreadSanitizer needs an address space layout it can map; newer kernels randomise too much.
tsan_prefix=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_prefix=(setarch "$(uname -m)" -R)
fi

# The fuzz targets run all at once, each as long as it takes to get PELKO_FUZZ_SECONDS of one
# core's time when they share the $jobs cores.
fuzz_cpu="${PELKO_FUZZ_SECONDS:-30}"
fuzz_targets=$(find fuzz -maxdepth 1 -name '*_fuzz.cpp' | wc -l)
fuzz_wall=$(( (fuzz_cpu * fuzz_targets + jobs - 1) / jobs ))
[ "$fuzz_wall" -ge "$fuzz_cpu" ] || fuzz_wall="$fuzz_cpu"

failed=()
for preset in release asan tsan fuzz; do
  configure=()
  test_run=(ctest --preset "$preset" -j "$jobs")
  case "$preset" in
    tsan) test_run=("${tsan_prefix[@]}" ctest --preset tsan -j "$jobs") ;;
    fuzz)
      configure=(-DPELKO_FUZZ_SECONDS="$fuzz_wall")
      test_run=(ctest --preset fuzz -j "$fuzz_targets")
      ;;
  esac
  echo "== $preset"
  if ! { cmake --preset "$preset" "${configure[@]}" >/dev/null &&
         cmake --build --preset "$preset" -j "$jobs" && "${test_run[@]}"; }; then
    failed+=("$preset")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "test.sh: FAILED in ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: every preset built and passed"
