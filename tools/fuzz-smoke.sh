#!/usr/bin/env bash
# Short smoke runs of every fuzz target of an ASan+UBSan build:
#   fuzz-smoke.sh BUILD_DIR [SECONDS]
# The target fuzz_<area> starts from the seed corpus fuzz/<area>/corpus (copied, so that the
# repository's corpus stays as committed).
set -euo pipefail
build=$1; seconds=${2:-15}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for target in $(find "$build/fuzz" -type f -name 'fuzz_*' -perm -u+x 2>/dev/null | sort); do
  area=${target##*/fuzz_}
  work=$(mktemp -d)
  [ -d "$root/fuzz/$area/corpus" ] && cp -r "$root/fuzz/$area/corpus/." "$work/"
  echo "fuzz-smoke: $area for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
      -artifact_prefix="$build/fuzz/$area-" "$work" >"$build/fuzz/$area.log" 2>&1; then
    echo "fuzz-smoke: $area FAILED (see $build/fuzz/$area.log)"; tail -30 "$build/fuzz/$area.log"; status=1
  fi
  rm -rf "$work"
done
exit $status
