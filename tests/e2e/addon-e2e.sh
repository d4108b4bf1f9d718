#!/usr/bin/env bash
# The worked example product (examples/addon) as a vendor builds it with mksetup and as a
# customer runs it on a 64-bit system with 1C:Enterprise 8.3: version 2.1 installed unattended
# (its COM server registered, its add-in copied into the platform's bin folder, its shared
# file counted, its group "Вектор\Учет ТМЦ" in the Start menu), upgraded to 2.2 in place, and
# removed by the command of its uninstall entry; the machine then is as it was before. Before
# that upgrade, one whose second disk is missing fails after the earlier version's uninstaller
# has run, and puts 2.1 back as it was; so does one cancelled while it runs the program it
# installed, and one killed there is undone by the next setup.exe that starts. Last, 2.1 on a
# small drive D:, and a 2.2 whose new file does not fit there (its script says it is small, so
# the check before changes lets it begin): the run fails and D: holds 2.1 as it was.
#   addon-e2e.sh REPO_ROOT NATIVE_MKSETUP STUB UNINSTALLER SERVER_DLL WORK_DIR GATE_EXE GUIDRIVER_EXE
set -u
root=$1 native=$2 stub=$3 uninstaller=$4 server=$5 work=$(realpath -m "$6") gate=$7 driver=$8
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/addon out=$work/addon
export SETUP_WINEARCH=win64
wine_session "$prefix" "$@"
c=$prefix/drive_c
example=$root/examples/addon
product='Вектор: Учет ТМЦ'
ukey='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
sharedkey='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
inst="$c/Program Files (x86)/Вектор/Учет ТМЦ" bin="$c/Program Files/1cv8/8.3.24.1467/bin"
common="$c/Program Files (x86)/Common Files/Вектор/vector-common.dat"
umount "$out/d" 2>/dev/null; rm -rf "$out" && mkdir -p "$out" || exit 1

# Both versions from the example's script and files, with the server built beside them; 2.2
# changes the settings file.
build() {  # NAME FILES SCRIPT [OPTIONS...]
  local name=$1 files=$2 script=$3; shift 3
  "$native" --stub "$stub" --uninstaller "$uninstaller" --files "$out/files-$files" --list "$example/cabinet.lst" \
    --fix-sizes "$@" "$script" "$out/$name" >"$out/mksetup-$name.log" 2>&1 || fail "mksetup $name: $(cat "$out/mksetup-$name.log")"
}
mkdir -p "$out/files-2.1" && cp -r "$example/files/." "$out/files-2.1/" && cp "$server" "$out/files-2.1/" || exit 1
build 2.1 2.1 "$example/setup.utf8.ini"
cp -r "$out/files-2.1" "$out/files-2.2" && sed -i 's/2\.1/2.2/' "$out/files-2.2/stock.ini"
sed 's/ТМЦ 2\.1/ТМЦ 2.2/' "$example/setup.utf8.ini" >"$out/setup-2.2.utf8.ini"
build 2.2 2.2 "$out/setup-2.2.utf8.ini"
# The same 2.2 on two disks, the first holding little more than setup.exe; the second is lost.
build split 2.2 "$out/setup-2.2.utf8.ini" --disk-size $(( $(stat -c %s "$out/2.2/DISK1/setup.exe") + 16384 ))
[ -f "$out/split/DISK2/setup2.cab" ] || fail "the split build has no second disk"
rm -rf "$out/split/DISK2"
# The same 2.2 with a program of its own that it runs when its files are in place and that
# waits (for a file that never comes) until it is killed with the setup.
mkdir -p "$out/files-killed" && cp -r "$out/files-2.2/." "$out/files-killed/" && cp "$gate" "$out/files-killed/gate.exe"
{ cat "$example/cabinet.lst"; echo "16=gate.exe"; } >"$out/killed.lst"
{ cat "$out/setup-2.2.utf8.ini"; printf 'FILE = 16 1 0 0 0 0 0 0 0 0 0 0  1 0 0 0\nFILEPATH = \\bin\\gate.exe\n'
  printf 'FILERUNPARAMS = "%%file%%" %s 60000\n' "$(winpath "$out/never")"; } >"$out/setup-killed.utf8.ini"
"$native" --stub "$stub" --uninstaller "$uninstaller" --files "$out/files-killed" --list "$out/killed.lst" \
  --fix-sizes "$out/setup-killed.utf8.ini" "$out/killed" >"$out/mksetup-killed.log" 2>&1 || fail "mksetup killed: $(cat "$out/mksetup-killed.log")"
# The same 2.2 with a file of 12 MB, random, whose size the script gives as one byte.
mkdir -p "$out/files-big" && cp -r "$out/files-2.2/." "$out/files-big/" && head -c 12M /dev/urandom >"$out/files-big/big.bin"
{ cat "$example/cabinet.lst"; echo "17=big.bin"; } >"$out/big.lst"
{ cat "$out/setup-2.2.utf8.ini"; printf 'FILE = 17 1 0 0 0 0 0 0 0 1 0 0  0 0 0 0\nFILEPATH = \\big.bin\n'; } >"$out/setup-big.utf8.ini"
"$native" --stub "$stub" --uninstaller "$uninstaller" --files "$out/files-big" --list "$out/big.lst" \
  "$out/setup-big.utf8.ini" "$out/big" >"$out/mksetup-big.log" 2>&1 || fail "mksetup big: $(cat "$out/mksetup-big.log")"
[ "$failures" -eq 0 ] || exit 1

install() {
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/$1/DISK1/setup.exe" /AUTO=ON /QUIET=ON /TYPE=FULL \
    "/LOG=$(winpath "$out/setup-$1.log")"
}
counter() {
  wr regedit /E "Z:$out/shared.reg" "$sharedkey" >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$out/shared.reg" | tr -d '\r' | grep -i 'vector-common.dat' | sed 's/.*=dword://'
}
server_path() {
  wr reg query 'HKCR\CLSID\{6F1B8B62-3C1D-4E8A-9B57-1C8E2A5D7F31}\InprocServer32' /ve /reg:32 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
{
  mkdir -p "$bin" && touch "$bin/1cv8.exe"
  wr reg add "$sharedkey" /f >/dev/null 2>&1
  snapshot before

  install 2.1; echo $? >"$out/status.2.1"
  server_path >"$out/server.2.1"; counter >"$out/counter.2.1"
  cp "$bin/ВекторОбмен.epf" "$out/addin.2.1" 2>/dev/null
  find "$c/users" -path '*Вектор/Учет ТМЦ/Руководство.lnk' >"$out/shortcut.2.1"
  snapshot installed
  install split; echo $? >"$out/status.split"
  snapshot failed
  cp "$inst/stock.ini" "$out/stock.split" 2>/dev/null
  install killed & 
  for _ in $(seq 600); do grep -q 'program: .*gate\.exe' "$out/setup-killed.log" 2>/dev/null && break; sleep 0.1; done
  grep 'program: .*gate\.exe' "$out/setup-killed.log" >"$out/killed.program"
  pkill -9 -f 'killed.DISK1.setup\.exe'; pkill -9 -f 'bin.gate\.exe'; wait
  # Any setup that starts undoes it first, also one that stops at once (a relative folder).
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/2.2/DISK1/setup.exe" /AUTO=ON /QUIET=ON /PATH=relative \
    "/LOG=$(winpath "$out/setup-recovery.log")"; echo $? >"$out/status.recovery"
  snapshot recovered
  # The same run attended to its progress page, cancelled while its program runs.
  rm -f "$out/never"
  timeout 120 "$root/tools/wine-run" "$prefix" "$out/killed/DISK1/setup.exe" /AUTO=ON /TYPE=FULL \
    "/LOG=$(winpath "$out/setup-cancel.log")" & run=$!
  for _ in $(seq 600); do grep -q 'program: .*gate\.exe' "$out/setup-cancel.log" 2>/dev/null && break; sleep 0.1; done
  # The window answers once the program has ended.
  wr "$driver" window '*Мастер установки' class=TfrmWork timeout=30000 \; click Отмена \; \
    make-file "$(winpath "$out/never")" \; answer 'Вы подтверждаете выход из программы и прекращение установки ?' yes \
    >"$out/cancel.driver" 2>&1; echo $? >"$out/status.cancel-driver"
  wait $run; echo $? >"$out/status.cancel"
  snapshot cancelled
  install 2.2; echo $? >"$out/status.2.2"
  counter >"$out/counter.2.2"
  wr regedit /E "Z:$out/entries.reg" "$ukey" >/dev/null 2>&1
  cp "$inst/stock.ini" "$out/stock.2.2" 2>/dev/null

  remove_silently product; echo $? >"$out/status.uninstall"
  wait_copy_gone
  snapshot after

  # A drive D: of 10 MB (a file system of its own, where one can be mounted).
  mkdir -p "$out/d" && mount -t tmpfs -o size=10m tmpfs "$out/d" && ln -sfn "$out/d" "$prefix/dosdevices/d:" &&
    echo yes >"$out/small-drive"
  if [ -f "$out/small-drive" ]; then
    timeout 120 "$root/tools/wine-run" "$prefix" "$out/2.1/DISK1/setup.exe" /AUTO=ON /QUIET=ON /TYPE=FULL \
      '/PATH=D:\Вектор' "/LOG=$(winpath "$out/setup-small.log")"; echo $? >"$out/status.small"
    snapshot small; (cd "$out/d" && find . | LC_ALL=C sort) >"$out/small.d"
    timeout 120 "$root/tools/wine-run" "$prefix" "$out/big/DISK1/setup.exe" /AUTO=ON /QUIET=ON /TYPE=FULL \
      "/LOG=$(winpath "$out/setup-big.log")"; echo $? >"$out/status.big"
    snapshot full; (cd "$out/d" && find . | LC_ALL=C sort) >"$out/full.d"
    cp "$out/d/Вектор/stock.ini" "$out/stock.full" 2>/dev/null
    remove_silently small; echo $? >"$out/status.small-uninstall"
    wait_copy_gone
    (cd "$out/d" && find . | LC_ALL=C sort) >"$out/gone.d"
    rm -f "$prefix/dosdevices/d:"; umount "$out/d"
  fi
} >"$out/session.log" 2>&1

status() { cat "$out/status.$1" 2>/dev/null; }
# same_as SNAPSHOT BEFORE WHAT: the files and both hives of SNAPSHOT are those of BEFORE.
same_as() {
  diff "$out/$2.files" "$out/$1.files" >"$out/$1.diff" || fail "$3 left files other than before: $(cat "$out/$1.diff")"
  for hive in hklm hkcu; do
    diff <(iconv -f UTF-16 -t UTF-8 "$out/$2.$hive.reg") <(iconv -f UTF-16 -t UTF-8 "$out/$1.$hive.reg") \
      >"$out/$1.$hive.diff" || fail "$3 changed the registry ($hive): $(head -20 "$out/$1.$hive.diff")"
  done
}
[ "$(status 2.1)" = 0 ] || fail "2.1: exit status $(status 2.1)"
LC_ALL=C grep -qi 'C:\\Program Files (x86)\\.*\\bin\\VectorStock.dll' "$out/server.2.1" ||
  fail "2.1: the COM server is not registered from its folder: $(cat "$out/server.2.1")"
[ "$(cat "$out/counter.2.1")" = 00000001 ] || fail "2.1: the shared file's counter is $(cat "$out/counter.2.1")"
cmp -s "$example/files/1c/exchange.epf" "$out/addin.2.1" || fail "2.1: the add-in did not reach 1C:Enterprise 8.3"
[ -s "$out/shortcut.2.1" ] || fail "2.1: no shortcut in the group Вектор\\Учет ТМЦ"
[ "$(status split)" = 1 ] || fail "2.2 without its second disk: exit status $(status split), expected 1"
grep -q 'earlier uninstaller: ' "$out/setup-split.log" || fail "2.2 without its second disk failed before the earlier uninstaller ran"
cmp -s "$out/files-2.1/stock.ini" "$out/stock.split" || fail "the failed upgrade did not put 2.1's settings file back"
same_as failed installed "the failed upgrade"
[ -s "$out/killed.program" ] || fail "2.2 to be killed never ran its program"
[ "$(status recovery)" = 2 ] || fail "the start after the killed run: exit status $(status recovery), expected 2"
grep -q 'was interrupted: undone' "$out/setup-recovery.log" || fail "the start after the killed run did not undo it"
same_as recovered installed "the killed upgrade, undone,"
[ "$(status cancel-driver)" = 0 ] || fail "the cancel of the attended 2.2: driver status $(status cancel-driver)"
[ "$(status cancel)" = 1 ] || fail "2.2 cancelled: exit status $(status cancel), expected 1"
grep -q '^.* undo: ' "$out/setup-cancel.log" || fail "2.2 cancelled: nothing undone"
same_as cancelled installed "the cancelled upgrade"
[ "$(status 2.2)" = 0 ] || fail "2.2: exit status $(status 2.2)"
cmp -s "$out/files-2.2/stock.ini" "$out/stock.2.2" || fail "2.2: the settings file is not the new one"
[ "$(cat "$out/counter.2.2")" = 00000001 ] || fail "2.2: the shared file's counter is $(cat "$out/counter.2.2")"
grep -q 'earlier uninstaller: .*UnInstall.exe.* (exit status 0)' "$out/setup-2.2.log" ||
  fail "2.2: the log does not name the earlier uninstaller and how it ended"
[ "$(iconv -f UTF-16 -t UTF-8 "$out/entries.reg" | grep -c '"ProductID"="VECTOR-STOCK"')" = 1 ] ||
  fail "2.2: not exactly one uninstall entry"
[ "$(status uninstall)" = 0 ] || fail "uninstall: exit status $(status uninstall)"
diff "$out/before.files" "$out/after.files" >"$out/files.diff" || fail "files left or lost: $(cat "$out/files.diff")"
for hive in hklm hkcu; do
  diff <(iconv -f UTF-16 -t UTF-8 "$out/before.$hive.reg") <(iconv -f UTF-16 -t UTF-8 "$out/after.$hive.reg") \
    >"$out/$hive.diff" || fail "registry ($hive) not as before: $(head -20 "$out/$hive.diff")"
done
if [ -f "$out/small-drive" ]; then
  [ "$(status small)" = 0 ] || fail "2.1 on D:: exit status $(status small)"
  [ "$(status big)" = 1 ] || fail "2.2 on a full D:: exit status $(status big), expected 1"
  grep -q 'earlier uninstaller: ' "$out/setup-big.log" || fail "2.2 on a full D: failed before the earlier uninstaller ran"
  diff "$out/small.d" "$out/full.d" >"$out/full.diff" || fail "2.2 on a full D: left D: changed: $(cat "$out/full.diff")"
  cmp -s "$out/files-2.1/stock.ini" "$out/stock.full" || fail "2.2 on a full D: did not put 2.1's settings file back"
  for hive in hklm hkcu; do
    diff <(iconv -f UTF-16 -t UTF-8 "$out/small.$hive.reg") <(iconv -f UTF-16 -t UTF-8 "$out/full.$hive.reg") \
      >"$out/full.$hive.diff" || fail "2.2 on a full D: changed the registry ($hive): $(head -20 "$out/full.$hive.diff")"
  done
  [ "$(status small-uninstall)" = 0 ] && [ "$(cat "$out/gone.d")" = . ] ||
    fail "2.1 on D: after the full disk: uninstall status $(status small-uninstall), left $(cat "$out/gone.d")"
else
  echo "no file system could be mounted for a small drive: the full-disk run is left out"
fi
finish "$out/session.log" "PASS: the example product installed, upgraded and removed on a 64-bit system"
