#!/usr/bin/env bash
# Start-up of a one-file setup under Wine: the demo product made by mksetup --one-file as it is
# and with a file of MB megabytes (default 500, random, stored) added, each timed from the
# process's start to its first page N times (default 10), alternating, in one Wine session.
# Nothing of the cabinet is read before the first page, so the two should start alike. Prints
# each time, the medians and their ratio.
#   bench/startup/onefile.sh [N] [MB]   (SETUP_BUILD: the Windows build folder, default build/windows;
#                                        the native mksetup from build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
n=${1:-10} mb=${2:-500}
build=${SETUP_BUILD:-build/windows}
[ -f "$build/build.ninja" ] || cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target mksetup_stub guidriver >/dev/null
[ -f build/native/build.ninja ] || cmake --preset native >/dev/null
cmake --build build/native --target mksetup >/dev/null
build=$(realpath "$build")
prefix=$build/wineprefix
work=$(mktemp -d /tmp/bench-onefile.XXXX)
trap 'rm -rf "$work"' EXIT
demo=$root/examples/demo
cp -r "$demo/files" "$work/files"
head -c "$((mb * 1024 * 1024))" /dev/urandom > "$work/files/big.bin"
{ cat "$demo/setup.utf8.ini"; printf 'FILE = 90 1 0 0 0 0 0 0 0 %s 0 0  0 0 0 0\nFILEPATH = \\big.bin\n' "$((mb * 1024 * 1024))"; } \
  > "$work/big.ini"
{ cat "$demo/cabinet.lst"; echo 90=big.bin; } > "$work/big.lst"
mk() { build/native/src/tools/mksetup/mksetup --stub "$build/src/tools/mksetup/setupstub.exe" --files "$work/files" \
         --logo "$demo/logo.bmp" --compression none "$@" >/dev/null; }
mk --one-file "$work/small.exe" --list "$demo/cabinet.lst" "$demo/setup.utf8.ini"
mk --one-file "$work/big.exe" --list "$work/big.lst" "$work/big.ini"
rm "$work/files/big.bin"
win() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
driver=$build/tests/e2e/driver/guidriver.exe
welcome='Эта программа произведет установку на Ваш компьютер программного продукта:'

cat > "$work/session.sh" <<INNER
g() { '$root/tools/wine-run' '$prefix' '$driver' -q "\$@"; }
'$root/tools/wine-run' '$prefix' reg add 'HKCU\\Software\\Wine\\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
start() {
  g timed-start '*Мастер установки' '$welcome' "\$(echo '$(win "$work")')\\\\\$1.exe" timeout=60000 \\; \\
    click 'Отмена' \\; answer 'Вы подтверждаете выход' yes \\; wait-exit 1 | sed -n "s/^startup: /\$1 /p"
}
# One start of each first, not counted: Wine's own first-time costs.
start small >/dev/null; start big >/dev/null
for i in \$(seq 1 $n); do start small; start big; done
INNER
"$root/tools/wine-session" "$prefix" bash "$work/session.sh" > "$work/times.txt" 2>"$work/session.log" || true
median() { grep "^$1 " "$work/times.txt" | awk '{print $2}' | sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
echo "== time to the first page under Wine of one-file setups, $n starts each (ms)"
echo "small: $(stat -c %s "$work/small.exe") bytes; big: $(stat -c %s "$work/big.exe") bytes"
for what in small big; do
  printf '%-6s %s\n' "$what" "$(grep "^$what " "$work/times.txt" | awk '{printf "%s ", $2}')"
done
s=$(median small) b=$(median big)
echo "median: small $s ms, big $b ms"
awk -v s="$s" -v b="$b" 'BEGIN { if (s > 0) printf "ratio big/small: %.2f\n", b / s }'
[ "$(grep -c '^big ' "$work/times.txt")" = "$n" ] || { echo "some starts failed:"; cat "$work/session.log"; }
