#!/usr/bin/env bash
# Runs one fuzz target of the fuzz build (configured and built here when needed):
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   tools/fuzz.sh --merge TARGET [MORE_INPUT_DIRS...]
#   tools/fuzz.sh --coverage TARGET [INPUT_DIRS...]
# TARGET is one of fuzz/*/ (cabinet, cabinet_set, script, uninstaller, pe, decoders).
# A run starts from the committed seeds (fuzz/TARGET/corpus) and the inputs earlier runs found
# (build/fuzz/corpus/TARGET, where new ones go), with fuzz/TARGET/*.dict, at the lowest CPU
# priority in one process. It prints the executions, exec/s, the coverage when the seeds are
# loaded and at the end, and the findings (crash-, timeout-, leak-, oom-, slow-unit- files in
# build/fuzz/findings/TARGET). Exit status 1 when there are findings.
# --merge minimises the committed seeds with libFuzzer's -merge=1: the committed corpus and the
# given folders (build/fuzz/corpus/TARGET for the inputs found so far) are merged into a new
# fuzz/TARGET/corpus, keeping only inputs that add coverage.
# --coverage replays the inputs (default: the committed seeds and the inputs found so far)
# through the target's harness built with source-based coverage (build/fuzz-coverage) and
# prints the lines and branches reached per source file of the product.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

mode=run
case "${1:-}" in
  --merge) mode=merge; shift ;;
  --coverage) mode=coverage; shift ;;
esac
target=${1:?usage: fuzz.sh TARGET SECONDS | fuzz.sh --merge TARGET [DIRS...] | fuzz.sh --coverage TARGET [DIRS...]}
shift
if [ ! -d "$root/fuzz/$target" ]; then
  echo "fuzz.sh: no target '$target' (have: $(cd "$root/fuzz" && ls -d */ | tr -d / | tr '\n' ' '))" >&2
  exit 2
fi

if [ "$mode" = coverage ]; then
  cover=$root/build/fuzz-coverage
  if [ ! -f "$cover/build.ninja" ]; then cmake --preset fuzz-coverage >/dev/null; fi
  cmake --build --preset fuzz-coverage --target "replay_$target" -- -j2 >/dev/null
  inputs=("$@")
  if [ ${#inputs[@]} -eq 0 ]; then
    inputs=("$root/fuzz/$target/corpus")
    [ -d "$build/corpus/$target" ] && [ -n "$(ls "$build/corpus/$target")" ] && inputs+=("$build/corpus/$target")
  fi
  profile=$(mktemp -d)
  LLVM_PROFILE_FILE="$profile/%p.profraw" "$cover/fuzz/$target/replay_$target" "${inputs[@]}" >/dev/null 2>&1 || true
  llvm-profdata merge -sparse -o "$profile/merged.profdata" "$profile"/*.profraw
  llvm-cov report "$cover/fuzz/$target/replay_$target" -instr-profile="$profile/merged.profdata" \
    "$root/src" | sed "s|$root/src/||"
  rm -rf "$profile"
  exit 0
fi

if [ ! -f "$build/build.ninja" ]; then cmake --preset fuzz >/dev/null; fi
cmake --build --preset fuzz --target "fuzz_$target" -- -j2 >/dev/null
binary=$build/fuzz/$target/fuzz_$target

seeds=$root/fuzz/$target/corpus
found=$build/corpus/$target
findings=$build/findings/$target
mkdir -p "$seeds" "$found" "$findings"
options=(-rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$findings/")
dict=$(ls "$root/fuzz/$target"/*.dict 2>/dev/null | head -1 || true)
[ -n "$dict" ] && options+=(-dict="$dict")

if [ "$mode" = merge ]; then
  fresh=$(mktemp -d)
  nice -n 19 "$binary" -merge=1 "${options[@]}" "$fresh" "$seeds" "$@" >"$build/merge-$target.log" 2>&1 ||
    { tail -20 "$build/merge-$target.log"; exit 1; }
  git -C "$root" rm -rq --ignore-unmatch "fuzz/$target/corpus" >/dev/null
  rm -rf "$seeds"
  mkdir -p "$seeds"
  # Names by content, so that the same input is never committed twice.
  for f in "$fresh"/*; do [ -f "$f" ] && cp "$f" "$seeds/$(sha1sum "$f" | cut -c1-16)"; done
  rm -rf "$fresh"
  echo "fuzz.sh: $target corpus: $(ls "$seeds" | wc -l) inputs, $(du -sk "$seeds" | cut -f1) KB"
  exit 0
fi

seconds=${1:?usage: fuzz.sh TARGET SECONDS}
shift
log=$build/run-$target.log
before=$(ls "$findings" | wc -l)
echo "fuzz.sh: $target for ${seconds}s (log $log)"
set +e
nice -n 19 "$binary" -max_total_time="$seconds" "${options[@]}" "$@" "$found" "$seeds" >"$log" 2>&1
status=$?
set -e
start=$(grep -m1 -E '^#[0-9]+[[:space:]]+INITED' "$log" || true)
end=$(grep -E '^#[0-9]+[[:space:]]+(DONE|NEW|REDUCE|pulse|INITED)' "$log" | tail -1 || true)
value() { echo "$1" | grep -oE "$2:? *[^ ]+" | head -1 | sed -E "s/^$2:? *//"; }
stat() { grep -oE "$1: *[0-9]+" "$log" | grep -oE '[0-9]+$' || echo '?'; }
echo "  executions: $(stat number_of_executed_units)"
echo "  exec/s:     $(stat average_exec_per_sec)"
echo "  start:      cov $(value "$start" cov) ft $(value "$start" ft) corp $(value "$start" corp)"
echo "  end:        cov $(value "$end" cov) ft $(value "$end" ft) corp $(value "$end" corp)"
new=$(ls "$findings" | wc -l)
if [ "$new" -gt 0 ]; then
  echo "  findings:   $((new - before)) new, $new in $findings:"
  ls "$findings" | sed 's/^/    /'
else
  echo "  findings:   none"
fi
if [ "$status" -ne 0 ] && [ "$new" -eq "$before" ]; then
  echo "fuzz.sh: the fuzzer failed (status $status):"; tail -20 "$log"; exit 1
fi
[ "$new" -eq 0 ]
