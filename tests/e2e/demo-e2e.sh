#!/usr/bin/env bash
# The demo product installed by setup.exe, unattended, in a Wine prefix of its own:
# installed bytes, temporary file and command after installation, uninstall list, registry
# entries, shortcuts; the minimal type; the exit status of a program without a script; a
# deletion at restart an uninstaller left for a file of the same name does not take the new one.
#   demo-e2e.sh REPO_ROOT MEDIA_DIR SETUP_NOSCRIPT_EXE WORK_DIR
set -u
root=$1 media=$2 noscript=$3 work=$(realpath -m "$4")
prefix=$work/prefixes/demo run=$work/run
. "$(dirname "$0")/e2e-lib.sh"
wine_session "$prefix" "$@"

rm -rf "$run" && mkdir -p "$run" && cp -r "$media"/. "$run"/ && cp "$noscript" "$run/DISK1/setup_noscript.exe" || exit 1

uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
rm -f "$work"/status.* "$work"/*.reg
wr() { "$root/tools/wine-run" "$prefix" "$@"; }
session_manager='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager'
# A REG_MULTI_SZ value as a REGEDIT4 file gives it: ANSI strings, each ending in a zero.
multi_sz() { printf '%s\0' "$@" | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//'; }
mkdir -p "$prefix/drive_c/Other" && echo other > "$prefix/drive_c/Other/keep.txt"
printf 'REGEDIT4\n\n[%s]\n"PendingFileRenameOperations"=hex(7):%s\n' "$session_manager" \
  "$(multi_sz '\??\C:\Demo\demo.txt' '' '\??\C:\Other\keep.txt' '' '')" > "$work/pending.reg"
day=$(date +%Y%m%d)
{
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  wr regedit /S "Z:$work/pending.reg"
  # Counters are kept only where the system has the key already.
  wr reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /f >/dev/null 2>&1
  timeout 120 "$root/tools/wine-run" "$prefix" "$run/DISK1/setup.exe" /AUTO=ON '/PATH=C:\Demo' '/GROUP=Демо'
  echo $? > "$work/status.full"
  wr regedit /E "Z:$work/uninstall.reg" "$uninstall_key\Демонстрационный продукт" >/dev/null 2>&1
  wr reg query "$session_manager" /v PendingFileRenameOperations > "$work/pending.after" 2>&1
  wr wineboot -r
  timeout 120 "$root/tools/wine-run" "$prefix" "$run/DISK1/setup.exe" /auto=on '/PATH=C:\DemoMin' '/GROUP=ДемоМин' /TYPE=minimal
  echo $? > "$work/status.minimal"
  wr regedit /E "Z:$work/shared.reg" 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' >/dev/null 2>&1
  timeout 60 "$root/tools/wine-run" "$prefix" "$run/DISK1/setup_noscript.exe" /AUTO=ON '/PATH=C:\DemoNone'
  echo $? > "$work/status.noscript"
} >"$work/session.log" 2>&1

c=$prefix/drive_c
[ "$(cat "$work/status.full" 2>/dev/null)" = 0 ] || fail "full run exit status $(cat "$work/status.full" 2>/dev/null)"
[ "$(cat "$work/status.minimal" 2>/dev/null)" = 0 ] || fail "minimal run exit status $(cat "$work/status.minimal" 2>/dev/null)"
[ "$(cat "$work/status.noscript" 2>/dev/null)" = 2 ] || fail "program without script: exit status $(cat "$work/status.noscript" 2>/dev/null), expected 2"
[ -e "$c/DemoNone" ] && fail "program without script created its folder"
grep -q 'keep\.txt' "$work/pending.after" || fail "the deletion at restart of another file was taken off: $(cat "$work/pending.after")"
grep -qi 'demo\.txt' "$work/pending.after" && fail "the deletion at restart of the installed demo.txt stayed"
[ -e "$c/Other/keep.txt" ] && fail "the restart did not carry out the deletions left for it"

# Every FILE record's size column is the size of the file the cabinet carries under its number.
demo=$root/examples/demo
while IFS='=' read -r item path; do
  size=$(grep -E "^FILE = $item " "$demo/setup.utf8.ini" | cut -d' ' -f12)
  [ "$size" = "$(stat -c %s "$demo/files/$path")" ] || fail "FILE $item: size column $size, file $(stat -c %s "$demo/files/$path")"
done < "$demo/cabinet.lst"

# Installed bytes (files from both disks), in the full and the minimal run.
check_file() { cmp -s "$demo/files/$1" "$2" || fail "installed $2 differs from $1 or is missing"; }
for base in "$c/Demo" "$c/DemoMin"; do
  check_file demo.txt "$base/demo.txt"
  check_file readme.txt "$base/readme.txt"
  check_file license.txt "$base/license.txt"
  check_file hello.txt "$base/hello.txt"
  check_file hello.txt "$base/hello.txt.ran"      # the command run after installation
  [ -e "$base/setup.tmp" ] && fail "temporary file $base/setup.tmp left behind"
  [ -d "$base/Документы" ] || fail "directory $base/Документы not created"
done
check_file extras/extra.txt "$c/Demo/Дополнения/extra.txt"
check_file extras/example.txt "$c/Demo/Дополнения/Примеры/example.txt"
[ -d "$c/Demo/Дополнения/Примеры/Данные" ] || fail "nested group's directory not created"
[ -e "$c/DemoMin/Дополнения" ] && fail "minimal type installed the typical-only group"
check_file shared.txt "$c/Program Files/Common Files/Demo Shared/shared.txt"

# The library was written out for the runs only: nothing of it stays in the temporary folder.
left=$(find "$c/users" -maxdepth 3 \( -ipath '*/temp/setup-*' -o -ipath '*/temp/cabinet.dll' \))
[ -z "$left" ] || fail "left in the temporary folder: $left"

# Shortcuts to the file and to the folder in the program group.
programs=$(find "$c/users" -type d -path '*Start Menu/Programs' | head -n1)
[ -f "$programs/Демо/Демо-программа.lnk" ] || fail "file shortcut missing"
[ -f "$programs/Демо/Документы демо.lnk" ] || fail "folder shortcut missing"

# Uninstall list (code page 1251).
list=$(iconv -f CP1251 -t UTF-8 "$c/Demo/uninst.lst" 2>/dev/null | tr -d '\r')
for line in 'VersionFile=1' 'FileName0=C:\Demo\demo.txt' 'RunParams0=cmd /c del "%file%.ran"' \
            'ProductName=Демонстрационный продукт' 'FileName6=C:\Demo\Дополнения\extra.txt' \
            'DirName11=C:\Demo\Дополнения' 'DirName14=C:\Demo'; do
  grep -qxF "$line" <<<"$list" || fail "uninstall list lacks: $line"
done
grep -qx 'FileName[0-9]*=C:\\Program Files\\Common Files\\Demo Shared\\shared.txt' <<<"$list" || fail "uninstall list lacks the shared file"
grep -q 'UnInstallWhole[0-9]*=1' <<<"$list" || fail "uninstall list lacks the directory removed as a whole"

# Registry: uninstall entry and the shared file's counter.
reg=$(iconv -f UTF-16 -t UTF-8 "$work/uninstall.reg" 2>/dev/null | tr -d '\r')
grep -qF '"DisplayName"="Демонстрационный продукт"' <<<"$reg" || fail "uninstall key: DisplayName missing"
grep -qF '"ProductID"="DEMO-PRODUCT-1"' <<<"$reg" || fail "uninstall key: ProductID missing"
grep -qi 'uninst.lst' <<<"$reg" || fail "uninstall key does not name the uninstall list"
# What deployment tools read: version, maker, web page, the room of the placed files (all but
# the temporary one), the date, the picture, and the silent removal.
bytes=0
while IFS='=' read -r item path; do
  [ "$path" = setup.tmp ] || bytes=$((bytes + $(stat -c %s "$demo/files/$path")))
done < "$demo/cabinet.lst"
for value in '"DisplayVersion"="1.2.0"' '"Publisher"="Демо Софт"' '"URLInfoAbout"="https://example.org/demo"' \
             "\"EstimatedSize\"=dword:$(printf %08x $(((bytes + 1023) / 1024)))" '"NoModify"=dword:00000001' \
             '"NoRepair"=dword:00000001' '"DisplayIcon"="C:\\Demo\\UnInstall.exe"' \
             '"QuietUninstallString"="\"C:\\Demo\\UnInstall.exe\" \"C:\\Demo\\uninst.lst\" /silence"'; do
  grep -qxF "$value" <<<"$reg" || fail "uninstall key lacks $value"
done
grep -qx "\"InstallDate\"=\"\($day\|$(date +%Y%m%d)\)\"" <<<"$reg" || fail "uninstall key: no InstallDate of the run's day"
shared=$(iconv -f UTF-16 -t UTF-8 "$work/shared.reg" 2>/dev/null | tr -d '\r')
grep -qiF '"C:\\Program Files\\Common Files\\Demo Shared\\shared.txt"=dword:00000002' <<<"$shared" ||
  fail "SharedDLLs counter of shared.txt is not 2 after two installations"

if [ "$failures" -ne 0 ]; then
  echo "--- session log"; cat "$work/session.log"; echo "--- uninstall key"; echo "$reg"; echo "--- SharedDLLs"; echo "$shared"
  exit 1
fi
echo "demo installed and checked"
