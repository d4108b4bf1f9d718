#!/usr/bin/env bash
# Short smoke runs of every fuzz target of the fuzz build (tools/fuzz.sh runs one for longer):
#   fuzz-smoke.sh BUILD_DIR [SECONDS]
# The target fuzz_<name> starts from its seed corpus and regression inputs (fuzz/<name>/corpus,
# fuzz/<name>/regressions, copied so that the committed folders stay as they are), with its
# dictionary. A crash, leak, timeout or out-of-memory fails the run.
set -euo pipefail
build=$1; seconds=${2:-6}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
targets=$(find "$build/fuzz" -type f -name 'fuzz_*' -perm -u+x 2>/dev/null | sort)
if [ -z "$targets" ]; then echo "fuzz-smoke: no fuzz targets in $build/fuzz"; exit 1; fi
for target in $targets; do
  name=${target##*/fuzz_}
  work=$(mktemp -d)
  for dir in corpus regressions; do
    [ -d "$root/fuzz/$name/$dir" ] && cp -r "$root/fuzz/$name/$dir/." "$work/"
  done
  options=()
  dict=$(ls "$root/fuzz/$name"/*.dict 2>/dev/null | head -1 || true)
  [ -n "$dict" ] && options+=(-dict="$dict")
  log=$build/fuzz/smoke-$name.log
  if nice -n 10 "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz/$name-" "${options[@]}" "$work" >"$log" 2>&1; then
    echo "fuzz-smoke: $name ${seconds}s: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/^#([0-9]+)[[:space:]]+DONE[[:space:]]+/\1 runs, /')"
  else
    echo "fuzz-smoke: $name FAILED (see $log)"; tail -30 "$log"; status=1
  fi
  rm -rf "$work"
done
exit $status
