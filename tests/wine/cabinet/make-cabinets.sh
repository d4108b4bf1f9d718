#!/bin/sh
# Makes the cabinets the Windows tests compare the two libraries on:
#   make-cabinets.sh OUTDIR WINE_RUN WINEPREFIX
# gcab/test.cab: one MSZIP folder; cabarc/setup*.cab: an MSZIP set spanning cabinets;
# cabarc-long/setup*.cab: an MSZIP set of at least three cabinets; cabarc-none/part*.cab: two
# stored files, the second running on into the next cabinet.
set -eu
out=$1; wine_run=$2; prefix=$3
rm -rf "$out"; mkdir -p "$out/src" "$out/gcab" "$out/cabarc" "$out/cabarc-long" "$out/cabarc-none"
cd "$out/src"
seq 1 60000 | sed 's/$/ of the readme, more or less/' > readme.txt
head -c 400000 /dev/urandom > random.bin
seq 1 50000 | od -A n -t x4 > table.txt
: > empty.txt
printf 'tiny' > tiny.txt
gcab -c -z ../gcab/test.cab readme.txt random.bin table.txt empty.txt tiny.txt >/dev/null
cp readme.txt random.bin table.txt empty.txt tiny.txt ../cabarc/
cd ../cabarc
"$wine_run" "$prefix" cabarc -d 300000 -m mszip n 'setup*.cab' readme.txt random.bin table.txt empty.txt tiny.txt >/dev/null 2>&1
rm readme.txt random.bin table.txt empty.txt tiny.txt
test -f setup2.cab

cd ../cabarc-long
seq 1 90000 | sed 's/$/ of the notes, with some more words/' > notes.txt
head -c 600000 /dev/urandom > more.bin
cp ../src/readme.txt ../src/table.txt .
"$wine_run" "$prefix" cabarc -d 300000 -m mszip n 'setup*.cab' readme.txt more.bin table.txt notes.txt >/dev/null 2>&1
rm readme.txt more.bin table.txt notes.txt
test -f setup3.cab

cd ../cabarc-none
head -c 200000 /dev/urandom > a.bin
head -c 200000 /dev/urandom > b.bin
"$wine_run" "$prefix" cabarc -d 300000 -m none n 'part*.cab' a.bin b.bin >/dev/null 2>&1
rm a.bin b.bin
test -f part2.cab
