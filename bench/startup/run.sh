#!/usr/bin/env bash
# Start-up cost of setup.exe under Wine: from the start of the process to its first page
# (the wizard visible with the welcome text; demo media, attended, no CABINET.DLL left in the
# temporary folder), against a minimal window program to its window, N times each (default 10),
# alternating, in one Wine session. Prints each time, the medians and their ratio.
#   bench/startup/run.sh [N]        (SETUP_BUILD: the Windows build folder, default build/windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
n=${1:-10}
build=${SETUP_BUILD:-build/windows}
[ -f "$build/build.ninja" ] || cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target demo_media guidriver bench_minwindow >/dev/null
build=$(realpath "$build")
prefix=$build/wineprefix
work=$(mktemp -d /tmp/bench-startup.XXXX)
cp -r "$build/demo/media" "$work/media"
win() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
driver=$build/tests/e2e/driver/guidriver.exe
welcome='Эта программа произведет установку на Ваш компьютер программного продукта:'

cat > "$work/session.sh" <<INNER
g() { '$root/tools/wine-run' '$prefix' '$driver' -q "\$@"; }
'$root/tools/wine-run' '$prefix' reg add 'HKCU\\Software\\Wine\\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
# One start of each first, not counted: Wine's own first-time costs (fonts, common controls).
g timed-start 'Минимальное окно' 'Готово' '$(win "$build/bench/startup/bench_minwindow.exe")' \\; close \\; wait-exit 0 >/dev/null
for i in \$(seq 1 $n); do
  find '$prefix/drive_c/users' -name CABINET.DLL -delete 2>/dev/null
  g timed-start '*Мастер установки' '$welcome' '$(win "$work/media/DISK1/setup.exe")' timeout=60000 \\; \\
    click 'Отмена' \\; answer 'Вы подтверждаете выход' yes \\; wait-exit 1 | sed -n 's/^startup: /setup /p'
  g timed-start 'Минимальное окно' 'Готово' '$(win "$build/bench/startup/bench_minwindow.exe")' \\; close \\; wait-exit 0 \\
    | sed -n 's/^startup: /minimal /p'
done
INNER
"$root/tools/wine-session" "$prefix" bash "$work/session.sh" > "$work/times.txt" 2>"$work/session.log" || true
median() { grep "^$1 " "$work/times.txt" | awk '{print $2}' | sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
echo "== time to the first visible window under Wine, $n starts each (ms)"
for what in setup minimal; do
  printf '%-8s %s\n' "$what" "$(grep "^$what " "$work/times.txt" | awk '{printf "%s ", $2}')"
done
s=$(median setup) m=$(median minimal)
echo "median: setup.exe to its first page $s ms, minimal window program $m ms"
awk -v s="$s" -v m="$m" 'BEGIN { if (m > 0) printf "ratio setup/minimal: %.2f\n", s / m }'
[ "$(grep -c '^setup ' "$work/times.txt")" = "$n" ] || { echo "some starts failed:"; cat "$work/session.log"; }
rm -rf "$work"
