#!/usr/bin/env bash
# Makes the raw seed inputs of the fuzz targets into OUT/<target>/ (the committed corpora are
# these, minimised with libFuzzer's -merge=1 by tools/fuzz.sh --merge):
#   fuzz/make-seeds.sh BUILD_DIR OUT
# - cabinet: the public test cabinets of tests/data/cabinets and cabinets written by our mkcab
#   with every compression it has (none, MSZIP, LZX with the smallest and largest window);
# - cabinet_set: sets of two, three and four cabinets written by mkcab (setup1.cab, setup2.cab, ...)
#   joined one after another, as the target splits them, and single cabinets;
# - script: the demo script and the scripts of the tests;
set -euo pipefail
build=$1; out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkcab=$build/src/tools/mkcab/mkcab
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/cabinet "$out"/cabinet_set "$out"/script

# Contents with different characters: text, repeats, noise, x86 calls (LZX translates E8).
mkdir -p "$work/files"
cp "$root"/examples/demo/files/*.txt "$work/files/" 2>/dev/null || true
head -c 5000 /dev/urandom >"$work/files/noise.bin"
python3 -c "print('the same line again and again\n' * 300, end='')" >"$work/files/repeat.txt"
python3 -c "import sys,random; r=random.Random(7); sys.stdout.buffer.write(bytes(r.choice([0xE8,0x90,0x00,0x12,0x34]) for _ in range(9000)))" \
  >"$work/files/calls.bin"
printf '' >"$work/files/empty.txt"
list=()
for f in "$work"/files/*; do list+=("$(basename "$f")=$f"); done

cp "$root"/tests/data/cabinets/*.cab "$out/cabinet/"
cp "$root"/tests/data/cabinets/mszip_lzx_qtm.cab "$out/cabinet_set/"
for m in none mszip lzx:15 lzx:21; do
  name=${m/:/}
  "$mkcab" -m "$m" -i 7 "$work/one-$name.cab" "${list[@]}" >/dev/null
  cp "$work/one-$name.cab" "$out/cabinet/mkcab-$name.cab"
  cp "$work/one-$name.cab" "$out/cabinet_set/mkcab-$name.cab"
  # A set of two or three cabinets: the data blocks and folders run over the boundaries.
  sizes="6K 9K"; [ "$m" = none ] && sizes="17K"
  for size in $sizes; do
    rm -rf "$work/set"; mkdir -p "$work/set"
    "$mkcab" -m "$m" -i 9 -s "$size" "$work/set/setup%d.cab" "${list[@]}" >/dev/null
    cat $(ls "$work"/set/setup*.cab | sort -V | head -4) >"$out/cabinet_set/mkcab-$name-$size.cabs"
  done
done

# Sets of three and four cabinets: a folder per file keeps the blocks small enough for small
# cabinets.
mkdir -p "$work/small"
for f in a b c; do head -c 3000 /dev/urandom >"$work/small/$f.bin"; done
python3 -c "print('hello\n' * 500, end='')" >"$work/small/t.txt"
for m in none mszip lzx:21; do
  rm -rf "$work/set"; mkdir -p "$work/set"
  "$mkcab" -m "$m" -i 11 -f 1 -s 4K "$work/set/setup%d.cab" a.bin="$work/small/a.bin" t.txt="$work/small/t.txt" \
    b.bin="$work/small/b.bin" c.bin="$work/small/c.bin" >/dev/null
  cat $(ls "$work"/set/setup*.cab | sort -V | head -4) >"$out/cabinet_set/mkcab-${m/:/}-small.cabs"
done

cp "$root"/examples/demo/setup.utf8.ini "$out/script/demo.ini"
find "$root/tests" -name '*.ini' -size -64k | while read -r f; do cp "$f" "$out/script/$(basename "$f")"; done
python3 "$root/fuzz/script/extract-test-scripts.py" "$out/script" $(grep -rl 'Script({' "$root/tests" --include='*.cpp')
