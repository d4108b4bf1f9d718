#!/usr/bin/env bash
# mksetup builds the demo product's set from its script and folder, on Linux (the native tool:
# two disks, MSZIP, the logo) and on Windows (the Windows tool under Wine, with the stub shipped
# beside it: one disk, LZX); cabextract reads every cabinet back; each set's
# DISK1\setup.exe then installs the product unattended and the installed bytes are compared.
# The refusals: a bad script line, a missing file, a bitmap that is not one.
#   mksetup-e2e.sh REPO_ROOT NATIVE_MKSETUP WINDOWS_MKSETUP GUIDRIVER_EXE WORK_DIR
set -u
root=$1 native=$2 winmk=$3 driver=$4 work=$(realpath -m "$5")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/mksetup out=$work/mksetup
wine_session "$prefix" "$@"
c=$prefix/drive_c
demo=$root/examples/demo
stub=$(dirname "$winmk")/setupstub.exe
rm -rf "$out" && mkdir -p "$out" || exit 1
if [ ! -x "$native" ]; then
  echo "FAIL: the native mksetup is missing at $native (build the native preset first)"; exit 1
fi
common=(--files "$demo/files" --list "$demo/cabinet.lst" --logo "$demo/logo.bmp")

# Linux: a one-disk build first; two thirds of its cabinet beside setup.exe make the disk size
# that puts the last files on DISK2.
"$native" --stub "$stub" "${common[@]}" "$demo/setup.utf8.ini" "$out/probe" >"$out/probe.log" 2>&1 ||
  fail "native mksetup, one disk: $(cat "$out/probe.log")"
size=$(stat -c %s "$out/probe/DISK1/setup.exe" 2>/dev/null || echo 0)
# Signed by a command that appends a mark, as a signing tool appends its certificate. Signing
# packs the cabinet library again, by the tool's own means: the disk is sized from a signed probe.
sign="sh -c 'printf SIGNED >> \"\$0\"'"
"$native" --stub "$stub" "${common[@]}" --sign "$sign" "$demo/setup.utf8.ini" "$out/signedprobe" >"$out/signedprobe.log" 2>&1 ||
  fail "native mksetup, one disk, signed: $(cat "$out/signedprobe.log")"
disk=$(($(stat -c %s "$out/signedprobe/DISK1/setup.exe" 2>/dev/null || echo 0) +
        $(stat -c %s "$out/probe/DISK1/setup1.cab" 2>/dev/null || echo 0) * 2 / 3))
"$native" --stub "$stub" "${common[@]}" --compression mszip --disk-size $disk --sign "$sign" \
  "$demo/setup.utf8.ini" "$out/native" >"$out/native.log" 2>&1 || fail "native mksetup, two disks: $(cat "$out/native.log")"
[ "$(tail -c 6 "$out/native/DISK1/setup.exe")" = SIGNED ] || fail "the native set's setup.exe is not signed"
for f in DISK1/setup.exe DISK1/setup1.cab DISK2/setup2.cab; do
  [ -f "$out/native/$f" ] || fail "native set lacks $f"
done
[ -e "$out/native/DISK3" ] && fail "native set has a third disk"
used=$(( $(stat -c %s "$out/native/DISK1/setup.exe") + $(stat -c %s "$out/native/DISK1/setup1.cab") ))
[ "$used" -le "$disk" ] || fail "DISK1 holds $used bytes, more than the disk size $disk"
grep -q "^Disks: 2" "$out/native.log" || fail "summary does not report two disks: $(cat "$out/native.log")"

# LZX:21 over two disks as well, sized the same way from an LZX probe.
"$native" --stub "$stub" "${common[@]}" --compression lzx:21 "$demo/setup.utf8.ini" "$out/lzxprobe" >"$out/lzxprobe.log" 2>&1 ||
  fail "native mksetup, LZX, one disk: $(cat "$out/lzxprobe.log")"
lzxdisk=$((size + $(stat -c %s "$out/lzxprobe/DISK1/setup1.cab" 2>/dev/null || echo 0) * 2 / 3))
"$native" --stub "$stub" "${common[@]}" --compression lzx:21 --disk-size $lzxdisk "$demo/setup.utf8.ini" "$out/lzx" \
  >"$out/lzx.log" 2>&1 || fail "native mksetup, LZX, two disks: $(cat "$out/lzx.log")"
[ -f "$out/lzx/DISK2/setup2.cab" ] || fail "the LZX set has no second disk: $(cat "$out/lzx.log")"

# The same script in code page 1251 gives the same setup.exe.
iconv -f UTF-8 -t CP1251 "$demo/setup.utf8.ini" > "$out/setup.1251.ini"
"$native" --stub "$stub" "${common[@]}" "$out/setup.1251.ini" "$out/cp1251" >"$out/cp1251.log" 2>&1 ||
  fail "native mksetup on the code page 1251 script: $(cat "$out/cp1251.log")"
cmp -s "$out/probe/DISK1/setup.exe" "$out/cp1251/DISK1/setup.exe" ||
  fail "the code page 1251 script gives another setup.exe than its UTF-8 form"

# Every cabinet entry, read by cabextract over the whole set, is the file the list names.
mkdir -p "$out/cab" && cp "$out/native/DISK1/setup1.cab" "$out/native/DISK2/setup2.cab" "$out/cab/"
cabextract -q -d "$out/cab/x" "$out/cab/setup1.cab" >"$out/cabextract.log" 2>&1 || fail "cabextract: $(cat "$out/cabextract.log")"
while IFS='=' read -r item path; do
  cmp -s "$demo/files/$path" "$out/cab/x/$item" || fail "cabinet entry $item is not $path"
done < "$demo/cabinet.lst"

# Windows: the tool under Wine, the stub found beside it.
wr() { "$root/tools/wine-run" "$prefix" "$@"; }
# Windows: the tool under Wine, the stub found beside it, signed through cmd into a folder
# whose name has a blank. No list: the files lie where their FILEPATH says, Russian names too.
while IFS='=' read -r item path; do
  target=$(awk -v item="$item" '$1 == "FILE" && $3 == item { found = 1; next }
                                 found && /^FILEPATH = / { sub(/^FILEPATH = /, ""); gsub(/\\/, "/"); print; exit }' "$demo/setup.utf8.ini")
  mkdir -p "$(dirname "$out/tree/$target")" && cp "$demo/files/$path" "$out/tree/$target" || fail "no FILEPATH for item $item"
done < "$demo/cabinet.lst"
[ -f "$out/tree/Дополнения/Примеры/example.txt" ] || fail "the tree by FILEPATH lacks its Russian folders"
wr "$winmk" --files "$(winpath "$out/tree")" --compression lzx:21 \
  --sign "cmd /c echo signed>>" "$(winpath "$demo/setup.utf8.ini")" "$(winpath "$out/windows set")" >"$out/windows.log" 2>&1 ||
  fail "mksetup.exe under Wine: $(cat "$out/windows.log")"
mv "$out/windows set" "$out/windows"
[ -f "$out/windows/DISK1/setup.exe" ] && [ -f "$out/windows/DISK1/setup1.cab" ] || fail "Windows set incomplete"
[ -e "$out/windows/DISK2" ] && fail "Windows set without a disk size has a second disk"
[ "$(tail -c 8 "$out/windows/DISK1/setup.exe" | tr -d '\r\n')" = signed ] || fail "the Windows set's setup.exe is not signed"

# Refusals: exit status 1, a message naming the cause, nothing built.
refuse() {
  local name=$1 pattern=$2; shift 2
  "$native" --stub "$stub" "$@" "$out/$name" >"$out/$name.log" 2>&1
  local status=$?
  [ "$status" = 1 ] || fail "$name: exit status $status, expected 1"
  grep -q -- "$pattern" "$out/$name.log" || fail "$name: no '$pattern' in: $(cat "$out/$name.log")"
  [ -e "$out/$name/DISK1/setup.exe" ] && fail "$name: setup.exe was built"
}
# FILE 7 loses its last column.
sed -E 's/^(FILE = 7 .*) [0-9]+$/\1/' "$demo/setup.utf8.ini" > "$out/bad.ini"
cmp -s "$demo/setup.utf8.ini" "$out/bad.ini" && fail "badline: the script was not changed"
line=$(grep -n '^FILE = 7 ' "$out/bad.ini" | cut -d: -f1)
refuse badline "bad.ini:$line: error: '' is not a valid integer value" "${common[@]}" "$out/bad.ini"
sed 's/^7=.*/7=gone.txt/' "$demo/cabinet.lst" > "$out/gone.lst"
refuse missing "FILE 7: its content .*gone.txt' does not exist" --files "$demo/files" --list "$out/gone.lst" "$demo/setup.utf8.ini"
refuse badlogo "\-\-logo .*not a BMP file" --files "$demo/files" --list "$demo/cabinet.lst" --logo "$demo/files/readme.txt" "$demo/setup.utf8.ini"

# The sets install unattended, files from both disks byte for byte.
uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
{
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
  # The library the program loads, copied while it runs.
  timeout 120 "$root/tools/wine-run" "$prefix" "$driver" start as=native "$(winpath "$out/native/DISK1/setup.exe")" /AUTO=ON '/PATH=C:\MkNative' '/GROUP=МкЛинукс' \
    \; expect-module Cabinet.dll "$(winpath "$out/library.native.dll")" of=native timeout=60000 \; wait-exit 0 of=native timeout=120000 > "$out/driver.native" 2>&1
  echo $? > "$out/status.native"
  tail -c 6 "$out/library.native.dll" > "$out/library.native" 2>/dev/null
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/windows/DISK1/setup.exe" /AUTO=ON '/PATH=C:\MkWindows' '/GROUP=МкВиндовс'
  echo $? > "$out/status.windows"
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/lzx/DISK1/setup.exe" /AUTO=ON '/PATH=C:\MkLzx' '/GROUP=МкLZX'
  echo $? > "$out/status.lzx"
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
  # The native set with one byte of its second cabinet changed: refused by its digest.
  cp -r "$out/native" "$out/tampered"
  cab2=$out/tampered/DISK2/setup2.cab
  printf '\x5a' | dd of="$cab2" bs=1 seek=$(( $(stat -c %s "$cab2") - 1 )) conv=notrunc status=none
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/tampered/DISK1/setup.exe" /AUTO=ON /QUIET=ON '/PATH=C:\MkTampered' \
    '/GROUP=МкПодмена' "/LOG=$(winpath "$out/tampered.log")"
  echo $? > "$out/status.tampered"
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
} >"$out/session.log" 2>&1
for set in native windows lzx; do
  [ "$(cat "$out/status.$set" 2>/dev/null)" = 0 ] || fail "$set set: setup.exe exit status $(cat "$out/status.$set" 2>/dev/null)"
done
[ "$(cat "$out/status.tampered" 2>/dev/null)" = 1 ] ||
  fail "tampered set: setup.exe exit status $(cat "$out/status.tampered" 2>/dev/null), expected 1"
grep -q 'setup2.cab (digest does not match)' "$out/tampered.log" 2>/dev/null ||
  fail "tampered set: no digest refusal of setup2.cab in the log"
# The library the program wrote out and loaded is the signed one.
[ "$(cat "$out/library.native" 2>/dev/null)" = SIGNED ] || fail "CABINET.DLL of the native set is not the signed library"
check_file() { cmp -s "$demo/files/$1" "$2" || fail "installed $2 differs from $1 or is missing"; }
for base in "$c/MkNative" "$c/MkWindows" "$c/MkLzx"; do
  check_file demo.txt "$base/demo.txt"
  check_file readme.txt "$base/readme.txt"
  check_file license.txt "$base/license.txt"
  check_file hello.txt "$base/hello.txt"
  check_file extras/extra.txt "$base/Дополнения/extra.txt"
  check_file extras/example.txt "$base/Дополнения/Примеры/example.txt"
  [ -e "$base/setup.tmp" ] && fail "temporary file $base/setup.tmp left behind"
done
finish "$out/session.log" "mksetup sets built, read back and installed"
