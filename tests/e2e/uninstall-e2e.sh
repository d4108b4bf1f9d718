#!/usr/bin/env bash
# The whole life cycle of the demo product, shipped with our UnInstall.exe: installed by
# setup.exe, removed by the command the uninstall entry names (with /silence), and the machine
# compared with its state before the installation; then installed twice into the same folder,
# so that the second installation removes the first through its uninstaller. Before that, an
# unattended installation started while the product's uninstaller waits at its question stops
# at once and leaves the product as it is.
#   uninstall-e2e.sh REPO_ROOT MEDIA_DIR WORK_DIR GUIDRIVER_EXE
set -u
root=$1 media=$2 work=$(realpath -m "$3") driver=$4
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/uninstall out=$work/uninstall run=$work/uninstall/media
wine_session "$prefix" "$@"
c=$prefix/drive_c
product='Демонстрационный продукт'
ukey='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
sharedkey='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
rm -rf "$out" && mkdir -p "$out" && cp -r "$media"/. "$run"/ || exit 1

install() { timeout 120 "$root/tools/wine-run" "$prefix" "$run/setup.exe" /AUTO=ON '/PATH=C:\DemoRT' '/GROUP=Демо RT'; }

{
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  wr reg add "$sharedkey" /f >/dev/null 2>&1
  # Every installation makes the database engine folder with its parents but records only the
  # folder itself, so the parents outlive any uninstaller; they are made beforehand here, so
  # that the comparison shows what the uninstaller was given to remove.
  mkdir -p "$c/Program Files/Borland/Common Files"
  snapshot before

  install; echo $? > "$out/status.install"
  (cd "$c" && find DemoRT | LC_ALL=C sort) > "$out/installed.files"
  remove_silently roundtrip; echo $? > "$out/status.uninstall"
  wait_copy_gone; echo $? > "$out/status.copy"
  run_folders > "$out/left.folders"
  snapshot after

  # A reinstall: the second installation runs the first one's uninstaller and waits for it.
  install; echo $? > "$out/status.first"
  (cd "$c" && find DemoRT | LC_ALL=C sort) > "$out/blocked.before"
  cat > "$out/blocked.gdr" <<GDR
start as=remover "C:\\\\DemoRT\\\\UnInstall.exe" "C:\\\\DemoRT\\\\uninst.lst"
window * class=#32770 text=Удалить timeout=30000
start as=blocked "$(winpath "$run/setup.exe")" /AUTO=ON /QUIET=ON "/LOG=$(winpath "$out/blocked.log")" "/PATH=C:\\\\DemoRT" "/GROUP=Демо RT"
wait-exit 1 of=blocked timeout=60000
answer "Удалить программу" no
wait-exit 2 of=remover timeout=60000
GDR
  wr "$driver" -f "$(winpath "$out/blocked.gdr")" > "$out/blocked.out" 2>&1; echo $? > "$out/status.blocked"
  (cd "$c" && find DemoRT | LC_ALL=C sort) > "$out/blocked.after"
  install; echo $? > "$out/status.again"
  temp_copy; echo $? > "$out/status.copy.again"
  run_folders > "$out/left.folders.again"
  (cd "$c" && find DemoRT | LC_ALL=C sort) > "$out/reinstalled.files"
  wr regedit /E "Z:$out/shared.reg" "$sharedkey" >/dev/null 2>&1
  remove_silently cleanup; echo $? > "$out/status.cleanup"
  wait_copy_gone
} >"$out/session.log" 2>&1

status() { cat "$out/status.$1" 2>/dev/null; }
[ "$(status install)" = 0 ] || fail "installation: exit status $(status install)"
grep -qx 'DemoRT/UnInstall.exe' "$out/installed.files" || fail "the product did not install its UnInstall.exe"
grep -qx 'DemoRT/uninst.lst' "$out/installed.files" || fail "no uninstall list was written"
grep -qF 'UnInstall.exe' "$out/command.roundtrip" 2>/dev/null || fail "no uninstall command registered"
[ "$(status uninstall)" = 0 ] || fail "uninstaller: exit status $(status uninstall), expected 0"
[ "$(status copy)" = 0 ] || fail "the uninstaller's temporary copy stayed"
[ "$(wc -l < "$out/left.folders")" -le 1 ] || fail "folders of runs left in the temporary folder:"$'\n'"$(cat "$out/left.folders")"

# Everything the installation made is gone, and nothing else changed.
if ! diff "$out/before.files" "$out/after.files" > "$out/files.diff"; then
  fail "the file tree differs from before the installation:"; cat "$out/files.diff"
fi
# A registry export as text, without the sections of Wine's own settings.
registry_text() {
  iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | awk '/^\[/ { skip = ($0 ~ /^\[HKEY_CURRENT_USER\\Software\\Wine[]\\]/) } !skip'
}
for hive in hklm hkcu; do
  registry_text "$out/before.$hive.reg" > "$out/before.$hive.txt"
  registry_text "$out/after.$hive.reg" > "$out/after.$hive.txt"
  [ -s "$out/before.$hive.txt" ] || fail "no registry snapshot of $hive"
  if ! diff "$out/before.$hive.txt" "$out/after.$hive.txt" > "$out/$hive.diff"; then
    fail "the registry ($hive) differs from before the installation:"; head -n 40 "$out/$hive.diff"
  fi
done

[ "$(status first)" = 0 ] || fail "first installation of the reinstall: exit status $(status first)"
[ "$(status blocked)" = 0 ] || { fail "beside a waiting uninstaller: the driver's expectations failed"; cat "$out/blocked.out"; }
grep -q 'Работает программа удаления предыдущей установки' "$out/blocked.log" 2>/dev/null ||
  fail "beside a waiting uninstaller: the log does not say why the run stopped"
cmp -s "$out/blocked.before" "$out/blocked.after" || fail "beside a waiting uninstaller: the product changed"
[ "$(status again)" = 0 ] || fail "reinstallation: exit status $(status again)"
[ "$(status copy.again)" = 1 ] || fail "the earlier uninstaller's temporary copy is still there after the reinstallation"
# The next runs removed the folder the first removal's copy ran from, and the reinstallation
# removed the one its earlier uninstaller's copy ran from.
[ ! -s "$out/left.folders.again" ] || fail "folders of runs left after the reinstallation:"$'\n'"$(cat "$out/left.folders.again")"
# The new installation is whole: the earlier uninstaller was done before it placed anything.
for f in DemoRT/demo.txt DemoRT/readme.txt DemoRT/license.txt DemoRT/hello.txt DemoRT/UnInstall.exe DemoRT/uninst.lst \
         'DemoRT/Дополнения/extra.txt'; do
  grep -qxF "$f" "$out/reinstalled.files" || fail "after the reinstallation $f is missing"
done
# The earlier installation let go of the shared file, so only the new one counts.
iconv -f UTF-16 -t UTF-8 "$out/shared.reg" 2>/dev/null | tr -d '\r' |
  grep -qiF '"C:\\Program Files\\Common Files\\Demo Shared\\shared.txt"=dword:00000001' ||
  fail "after the reinstallation the shared file's counter is not 1"
[ "$(status cleanup)" = 0 ] || fail "removing the reinstalled product: exit status $(status cleanup)"

finish "$out/session.log" "install, uninstall and reinstall checked"
