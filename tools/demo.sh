#!/usr/bin/env bash
# The project's main job on a fresh machine: builds everything, then installs the demo product
# with setup.exe, unattended, in a fresh Wine prefix that prefers our Cabinet.dll over Wine's,
# and shows what the installation left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

# The installation itself, inside the Wine session the script starts for it (see below).
if [ "${1:-}" = --session ]; then
  set +e
  demo=$2 prefix=$3 driver=$4
  wr() { "$root/tools/wine-run" "$prefix" "$@"; }
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  wr reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /f >/dev/null 2>&1
  "$root/tools/wine-run" "$prefix" "$demo/media/DISK1/setup.exe" /AUTO=ON '/PATH=C:\Demo' '/GROUP=Демо' &
  pid=$!
  # A picture of the progress page while the run is on, taken by the GUI driver as soon as the
  # files are being unpacked (the demo installs in about a second).
  wr "$driver" -q window '*Мастер установки' 'text=Распаковка и копирование файлов' timeout=30000 \; \
    screenshot "Z:${demo//\//\\}\\progress.bmp" screen >/dev/null 2>&1 &&
    convert "$demo/progress.bmp" "$demo/progress.png" 2>/dev/null && rm -f "$demo/progress.bmp"
  status=0
  wait $pid || status=$?
  echo $status > "$demo/status"
  wr regedit /E "Z:$demo/uninstall.reg" 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Демонстрационный продукт' >/dev/null 2>&1
  wr regedit /E "Z:$demo/shared.reg" 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' >/dev/null 2>&1
  exit 0
fi
# SETUP_DEMO_BUILD names an already built Windows build directory and skips the builds.
build=${SETUP_DEMO_BUILD:-}
if [ -z "$build" ]; then
  ./tools/bootstrap.sh
  for preset in native windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
  done
  build=build/windows
fi

demo=$root/build/${SETUP_DEMO_OUT:-demo}
prefix=$demo/wineprefix
rm -rf "$demo" && mkdir -p "$demo"
cp -r "$build/demo/media" "$demo/media"
echo "Demo media, made in examples/demo by:"
echo "  $(cat "$build/demo/media.command" 2>/dev/null)"
echo "(setup.exe beside the first cabinet):"
find "$demo/media" -type f | sort | while read -r f; do printf '  %-50s %8d bytes\n' "${f#"$demo"/}" "$(stat -c %s "$f")"; done

driver=$(realpath "$build/tests/e2e/driver/guidriver.exe")
echo
echo "Running: setup.exe /AUTO=ON /PATH=C:\\Demo /GROUP=Демо  (Wine prefix $prefix)"
./tools/wine-session "$prefix" bash "$0" --session "$demo" "$prefix" "$driver"
status=$(cat "$demo/status")
echo "Exit status: $status (0 installed, 1 failed or cancelled, 2 could not start, 3 files kept or skipped, 3010 restart wanted)"

c=$prefix/drive_c
echo
echo "Installed files:"
for d in "$c/Demo" "$c/Program Files/Common Files/Demo Shared"; do
  find "$d" | sort | while read -r f; do
    if [ -f "$f" ]; then printf '  %-60s %6d bytes\n' "${f#"$c"/}" "$(stat -c %s "$f")"; else echo "  ${f#"$c"/}/"; fi
  done
done
echo
echo "Shortcuts:"
find "$c/users" -path '*Programs/Демо/*' -name '*.lnk' | sort | sed "s|^$c/|  |"
echo
echo "Uninstall list C:\\Demo\\uninst.lst (code page 1251):"
iconv -f CP1251 -t UTF-8 "$c/Demo/uninst.lst" | tr -d '\r' | sed 's/^/  /'
echo
echo "Registry written:"
for f in uninstall shared; do iconv -f UTF-16 -t UTF-8 "$demo/$f.reg" | tr -d '\r' | grep -v '^Windows Registry' | grep . | sed 's/^/  /'; done
[ -f "$demo/progress.png" ] && echo && echo "Progress page picture: ${demo#"$root"/}/progress.png"
exit "$status"
