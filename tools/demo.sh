#!/usr/bin/env bash
# The project's main job on a fresh machine. Until the setup program exists, it builds every
# configuration and lists what was built.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/bootstrap.sh
for preset in native windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done
echo "Built Windows programs:"
find build/windows -name '*.exe' -o -name '*.dll' | grep -v -e CMakeFiles -e wineprefix | sort | while read -r f; do
  printf '  %-70s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
