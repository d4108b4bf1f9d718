#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# native, native under ASan+UBSan (which also replay the fuzz corpora), short runs of every
# fuzz target (the fuzz build), and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/bootstrap.sh

jobs=$(nproc)
failed=0
run() { echo "== $*"; "$@" || failed=1; }

for preset in native asan fuzz windows; do
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = fuzz ]; then
    cmake --build --preset fuzz -j "$jobs" --target fuzz_targets
  else
    cmake --build --preset "$preset" -j "$jobs"
  fi
done

run ctest --preset native -j "$jobs"
run ctest --preset asan -j "$jobs"
run ./tools/fuzz-smoke.sh build/fuzz
run ./tools/wine-session build/windows/wineprefix ctest --preset windows -j "$jobs"

if [ "$failed" -ne 0 ]; then echo "SOME TESTS FAILED"; exit 1; fi
echo "ALL TESTS PASSED"
