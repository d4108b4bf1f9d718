#!/usr/bin/env bash
# A product with an add-in for 1C:Enterprise 8, installed unattended in a 64-bit prefix, as
# customers' systems are: the add-in reaches the 64-bit platform that the Windows Installer
# registered in the 64-bit registry view only, and the 32-bit one found by its folder alone;
# a folder of the platform without 1cv8.exe receives nothing. Run again without /PATH=, the
# setup upgrades the installation where it is rather than adding a second copy.
#   platform64-e2e.sh REPO_ROOT NATIVE_MKSETUP STUB WORK_DIR
set -u
root=$1 native=$2 stub=$3 work=$(realpath -m "$4")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/platform64 out=$work/platform64
export SETUP_WINEARCH=win64
wine_session "$prefix" "$@"
c=$prefix/drive_c
grep -q '^#arch=win64' "$prefix/system.reg" || { echo "FAIL: the prefix is not a 64-bit one"; exit 1; }
rm -rf "$out" && mkdir -p "$out/files" || exit 1

echo "add-in" > "$out/files/addin.txt"
cat > "$out/setup.utf8.ini" <<SCRIPT
DESCRIPTION = Дополнение для 1С
PRODUCTID = ADDIN-64
VERSION = 8.1
GROUPDIRECTORY = 0
DIRECTORY = \\Дополнение
GROUPNAME = Дополнение
FULLINSTALL = 1
DIALOG1S = 1
UNINSTALL = 1
GROUPUNINSTALLPATH = 4
UNINSTALLPATH = \\uninst.lst
GROUP = 1 0 0 1 1 4
GROUPCAPTION = Дополнение
FILE = 1 1 0 0 0 0 0 0 1 $(stat -c %s "$out/files/addin.txt") 0 0  0 0 0 0
FILEPATH = \\addin.txt
SCRIPT
echo "1=addin.txt" > "$out/files.lst"
"$native" --stub "$stub" --files "$out/files" --list "$out/files.lst" "$out/setup.utf8.ini" "$out/media" \
  >"$out/mksetup.log" 2>&1 || { echo "FAIL: mksetup: $(cat "$out/mksetup.log")"; exit 1; }

key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\UserData\S-1-5-18\Products\E2E0000000000000000000000000064\InstallProperties'
"$root/tools/wine-run" "$prefix" reg add "$key" /v DisplayName /d "1C:Enterprise 8 (x86-64) (8.3.24.1467)" /reg:64 /f \
  </dev/null >"$out/reg.log" 2>&1
"$root/tools/wine-run" "$prefix" reg add "$key" /v InstallLocation /d 'C:\Program Files\1cv8\8.3.24.1467\' /reg:64 /f \
  </dev/null >>"$out/reg.log" 2>&1
mkdir -p "$c/Program Files/1cv8/8.3.24.1467/bin" "$c/Program Files (x86)/1cv8/8.2.19.130/bin" \
  "$c/Program Files (x86)/1cv8/common"
touch "$c/Program Files (x86)/1cv8/8.2.19.130/bin/1cv8.exe"

"$root/tools/wine-run" "$prefix" "$out/media/DISK1/setup.exe" /AUTO=ON /QUIET=ON '/PATH=C:\Addin' \
  "/LOG=$(winpath "$out/setup.log")" </dev/null >"$out/run.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "setup.exe ended with status $status"
for target in "Addin" "Program Files/1cv8/8.3.24.1467/bin" "Program Files (x86)/1cv8/8.2.19.130/bin"; do
  cmp -s "$out/files/addin.txt" "$c/$target/addin.txt" || fail "the add-in is not in C:\\$target"
done
[ -z "$(find "$c/Program Files (x86)/1cv8/common" -type f)" ] || fail "a folder without the platform received a copy"

"$root/tools/wine-run" "$prefix" "$out/media/DISK1/setup.exe" /AUTO=ON /QUIET=ON "/LOG=$(winpath "$out/again.log")" \
  </dev/null >"$out/again-run.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "the second setup.exe ended with status $status"
"$root/tools/wine-run" "$prefix" reg export 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' \
  "$(winpath "$out/uninstall.reg")" /y </dev/null >/dev/null 2>&1
entries=$(iconv -f UTF-16 -t UTF-8 "$out/uninstall.reg" | grep -c '"ProductID"="ADDIN-64"')
[ "$entries" -eq 1 ] || fail "$entries uninstall entries of the product, one expected"
iconv -f UTF-16 -t UTF-8 "$out/uninstall.reg" | grep -q '"InstallLocation"="C:\\\\Addin"' ||
  fail "the uninstall entry does not name C:\\Addin"
for value in '"DisplayVersion"="8.1"' '"NoModify"=dword:00000001' '"QuietUninstallString"="\"C:\\Addin\\UnInstall.exe\" \"C:\\Addin\\uninst.lst\" /silence"'; do
  iconv -f UTF-16 -t UTF-8 "$out/uninstall.reg" | tr -d '\r' | grep -qxF "$value" || fail "the uninstall entry lacks $value"
done
finish "$out/again.log" "PASS: the add-in reached both 1C:Enterprise 8 installations of the 64-bit system, and the upgrade stayed in its folder"
