#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# native, native under ASan+UBSan (which also replay the fuzz corpora), short runs of every
# fuzz target (built in the same ASan+UBSan build), and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/bootstrap.sh

jobs=$(nproc)
failed=0
run() { echo "== $*"; "$@" || failed=1; }

for preset in native asan windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

run ctest --preset native -j "$jobs"
run ctest --preset asan -j "$jobs"
# The smoke runs (at low priority) share the machine with the Windows tests, which mostly wait
# on Wine's process start-up and windows.
./tools/fuzz-smoke.sh build/asan >build/asan/fuzz-smoke.log 2>&1 &
smoke=$!
run ./tools/wine-session build/windows/wineprefix ctest --preset windows -j "$jobs"
echo "== ./tools/fuzz-smoke.sh build/asan"
wait "$smoke" || failed=1
cat build/asan/fuzz-smoke.log

if [ "$failed" -ne 0 ]; then echo "SOME TESTS FAILED"; exit 1; fi
echo "ALL TESTS PASSED"
