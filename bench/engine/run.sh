#!/usr/bin/env bash
# Times an unattended installation of 5,000 files / 120 MB by the worker under Wine, and
# cabextract extracting the same cabinet set natively.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows --target bench_worker >/dev/null
prefix=$root/build/windows/wineprefix
work_unix=$(mktemp -d /tmp/bench-worker.XXXX)
work=Z:${work_unix//\//\\}
run() { tools/wine-session "$prefix" tools/wine-run "$prefix" build/windows/bench/engine/bench_worker.exe "$@"; }
echo "== worker under Wine, 1,000 files / 24 MB"
run "$work\\small" 1000 24
echo "== worker under Wine, 5,000 files / 120 MB"
run "$work\\large" 5000 120
echo "== cabextract natively, same set"
mkdir -p "$work_unix/cabextract"
/usr/bin/time -f "cabextract: %e s, peak %M KB" cabextract -q -d "$work_unix/cabextract" "$work_unix/large/Media/setup1.cab"
rm -rf "$work_unix"
