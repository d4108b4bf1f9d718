#!/usr/bin/env bash
# Unattended and quiet runs as a deployment tool makes them (/AUTO=ON /QUIET=ON /LOG=...): each
# ends by itself, with no box on screen, with the exit status that tells its outcome and a log
# that says why. A version conflict and a busy file (kept: status 3), a missing last disk and a
# truncated set and a second disk of another set beside the first (failed: 1; the last before
# any change), a bad script, a second copy and a temporary folder that does not
# exist (not started: 2), and /? (0). In between, an attended start under Wine's own window
# handling (a new prefix's, which hands windows to a window manager): the wizard in front of the
# background, on screen and for the system, also after a click on the background.
#   quiet-e2e.sh REPO_ROOT MEDIA_DIR SETUP_BADSCRIPT_EXE GUIDRIVER_EXE LOCKER_EXE VERSIONED_DLL WORK_DIR
#                PLAIN_SETUP_EXE
# PLAIN_SETUP_EXE is the demo's setup.exe as the build links it, without the cabinet digests
# mksetup records: the truncated set is one such a program takes as it is.
set -u
root=$1 media=$2 bad=$3 driver=$4 locker=$5 versioned=$6 work=$(realpath -m "$7") plain=$8
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/quiet out=$work/quiet
wine_session "$prefix" "$@"
c=$prefix/drive_c
rm -rf "$out" && mkdir -p "$out" || exit 1
# The folder of a run that was killed: the next run removes it.
temp=$(find "$c/users" -mindepth 2 -maxdepth 2 -iname temp ! -ipath '*/public/*' | head -n1)
[ -n "$temp" ] || fail "no temporary folder in the prefix"
mkdir -p "$temp/setup-7ffffffc-0badf00d" && echo library > "$temp/setup-7ffffffc-0badf00d/CABINET.DLL" || exit 1

# The sets: whole; without its last disk; one cabinet that holds only the first files.
cp -r "$media" "$out/whole" && cp -r "$media" "$out/nodisk2" && rm -rf "$out/nodisk2/DISK2" || exit 1
mkdir -p "$out/truncated/DISK1" "$out/entries" && cp "$plain" "$out/truncated/DISK1/setup.exe" || exit 1
cp "$root/examples/demo/files/license.txt" "$out/entries/5" && cp "$root/examples/demo/files/demo.txt" "$out/entries/3" || exit 1
(cd "$out/entries" && gcab -c -z "$out/truncated/DISK1/setup1.cab" 5 3) || exit 1
cp "$bad" "$out/whole/DISK1/setup_badscript.exe" || exit 1
# The demo's first disk with a second one of another set: the one-cabinet set above, renamed.
cp -r "$media" "$out/foreign" && cp "$out/truncated/DISK1/setup1.cab" "$out/foreign/DISK2/setup2.cab" || exit 1
quiet() { echo "/AUTO=ON /QUIET=ON \"/LOG=$(winpath "$out/$1.log")\""; }
# A quiet run shows no window of its own (the busy file's holder has a console).
allowed=only=WineConsoleClass
setup=$(winpath "$out/whole/DISK1/setup.exe")

cat > "$out/cases.gdr" <<GDR
start as=version "$setup" $(quiet version) "/PATH=C:\\\\E2E\\\\Version"
wait-exit 3 of=version $allowed timeout=60000
start as=lock "$(winpath "$locker")" "C:\\\\E2E\\\\Busy\\\\readme.txt" e2e-quiet-busy
wait-file "C:\\\\E2E\\\\Busy\\\\readme.txt"
start as=busy "$setup" $(quiet busy) "/PATH=C:\\\\E2E\\\\Busy"
wait-exit 3 of=busy $allowed timeout=60000
start as=nodisk "$(winpath "$out/nodisk2/DISK1/setup.exe")" $(quiet nodisk) "/PATH=C:\\\\E2E\\\\NoDisk"
wait-exit 1 of=nodisk $allowed timeout=60000
start as=truncated "$(winpath "$out/truncated/DISK1/setup.exe")" $(quiet truncated) "/PATH=C:\\\\E2E\\\\Truncated"
wait-exit 1 of=truncated $allowed timeout=60000
start as=foreign "$(winpath "$out/foreign/DISK1/setup.exe")" $(quiet foreign) "/PATH=C:\\\\E2E\\\\Foreign"
wait-exit 1 of=foreign $allowed timeout=60000
start as=badscript "$(winpath "$out/whole/DISK1/setup_badscript.exe")" $(quiet badscript) "/PATH=C:\\\\E2E\\\\Bad"
wait-exit 2 of=badscript only= timeout=60000
start as=emptypath "$setup" $(quiet emptypath) "/PATH="
wait-exit 2 of=emptypath $allowed timeout=60000
start as=help "$setup" /? /AUTO=ON /QUIET=ON
wait-exit 0 of=help only= timeout=60000
# From here to its end the attended copy runs under Wine's own window handling, as a new
# prefix has it (the session turned the window-manager mode off).
start as=managed reg delete "HKCU\\\\Software\\\\Wine\\\\X11 Driver" /v Managed /f
wait-exit 0 of=managed
start as=first "$setup" "/PATH=C:\\\\E2E\\\\First"
window "*Мастер установки" class=TfrmWork timeout=30000
expect-module Cabinet.dll "$(winpath "$out/loaded.dll")" of=first
# The wizard stands for the program on the task bar, with the product's name; the background does not.
window "Демонстрационный продукт — Мастер установки" class=TfrmWork
expect-taskbar yes
# The background comes once the first page is up: right behind the wizard, which stays active,
# and the screen shows the wizard over it; a click on the background changes neither.
expect-front TfrmMain
make-file "$(winpath "$out/front1")"
wait-file "$(winpath "$out/front1.seen")"
mouse-click 20 500
sleep 300
expect-front TfrmMain
make-file "$(winpath "$out/front2")"
wait-file "$(winpath "$out/front2.seen")"
window * class=TfrmMain
expect-taskbar no
# Another temporary folder does not hide the first copy from the second.
setenv TMP C:\\E2E\\OtherTemp
setenv TEMP C:\\E2E\\OtherTemp
start as=second "$setup" $(quiet second) "/PATH=C:\\\\E2E\\\\Second"
wait-exit 1618 of=second only=TfrmWork,TfrmMain timeout=60000
setenv TMP
setenv TEMP
window "*Мастер установки" class=TfrmWork
click Отмена
answer "Вы подтверждаете выход" yes
wait-exit 1 of=first
start as=unmanaged reg add "HKCU\\\\Software\\\\Wine\\\\X11 Driver" /v Managed /d N /f
wait-exit 0 of=unmanaged
# A temporary folder that does not exist: not started, and said why.
setenv TMP C:\\E2E\\NoSuchTemp
setenv TEMP C:\\E2E\\NoSuchTemp
start as=notemp "$setup" $(quiet notemp) "/PATH=C:\\\\E2E\\\\NoTemp"
wait-exit 2 of=notemp only=TfrmWork,TfrmMain timeout=60000
setenv TMP
setenv TEMP
GDR

# What the screen shows when the driver asks (ASK made): of the wizard and the background, the
# one the display stacks higher (xwininfo lists the topmost first) goes to ASK.seen.
seen_on_top() {
  for _ in $(seq 600); do [ -e "$1" ] && break; sleep 0.1; done
  xwininfo -root -children | grep -aoE '"Демонстрационный продукт( — Мастер установки)?"' | head -n1 > "$1.tmp"
  mv "$1.tmp" "$1.seen"
}
{ seen_on_top "$out/front1" && seen_on_top "$out/front2"; } >/dev/null 2>&1 &
watcher=$!
# (Placed once the session has made the prefix: a new prefix starts empty.)
{
  # A demo.txt with another version than the script's 1.0.0.1 is already there.
  mkdir -p "$c/E2E/Busy" "$c/E2E/Version" "$c/E2E/OtherTemp" && cp "$versioned" "$c/E2E/Version/demo.txt"
  "$root/tools/wine-run" "$prefix" reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  "$root/tools/wine-run" "$prefix" "$driver" -f "$(winpath "$out/cases.gdr")" > "$out/cases.out" 2>&1
  echo $? > "$out/status.cases"
} >"$out/session.log" 2>&1
kill "$watcher" 2>/dev/null
cat "$out/cases.out" >> "$out/session.log"
[ "$(cat "$out/status.cases" 2>/dev/null)" = 0 ] || fail "the driver's expectations failed (status $(cat "$out/status.cases" 2>/dev/null))"
for seen in front1 front2; do
  grep -q 'Мастер установки' "$out/$seen.seen" 2>/dev/null ||
    fail "$seen: the screen shows the background over the wizard ($(cat "$out/$seen.seen" 2>/dev/null))"
done

# Every line of a log is one event with its time; the lines asked for are there.
stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} '
expect_log() {
  local name=$1 pattern=$2 file=$out/$1.log
  [ -f "$file" ] || { fail "$name: no log"; return; }
  # Lines end in CR LF, as Windows tools expect.
  local lines; lines=$(tr -d '\r' < "$file")
  grep -Evq "$stamp" <<<"$lines" && fail "$name: a line without its time stamp: $(grep -Ev "$stamp" <<<"$lines" | head -1)"
  grep -Eq "$stamp$pattern" <<<"$lines" || { fail "$name: no line matching '$pattern'"; echo "--- $name.log"; cat "$file"; }
}
for name in version busy nodisk truncated foreign badscript emptypath second notemp; do
  expect_log $name 'setup\.exe [0-9.]+; command line: .*/QUIET=ON'
done
expect_log version 'kept \(version [0-9.]+\): C:\\E2E\\Version\\demo\.txt$'
expect_log version 'outcome: installed, exit status 3$'
cmp -s "$versioned" "$c/E2E/Version/demo.txt" || fail "version: the existing demo.txt was replaced"
[ -f "$c/E2E/Version/readme.txt" ] || fail "version: the rest of the product was not installed"
expect_log busy 'skipped \(busy\): C:\\E2E\\Busy\\readme\.txt$'
expect_log busy 'extracted: C:\\E2E\\Busy\\license\.txt'
expect_log busy 'exit status 3$'
expect_log nodisk 'cabinet: setup1\.cab'
expect_log nodisk 'message: В процессе установки произошла ошибка: .*setup2\.cab'
expect_log nodisk 'outcome: not installed, exit status 1$'
expect_log truncated 'message: В процессе установки произошла ошибка: .*readme\.txt'
expect_log truncated 'exit status 1$'
expect_log foreign 'message: В процессе установки произошла ошибка: CAB-файл <setup2\.cab> не является следующим'
expect_log foreign 'exit status 1$'
grep -q 'stage: ' "$out/foreign.log" && fail "foreign: a stage began before the second disk was refused"
expect_log badscript "message: '447b' is not a valid integer value\.$"
expect_log badscript 'exit status 2$'
expect_log emptypath 'message: Каталог установки "" не подходит'
expect_log emptypath 'exit status 2$'
expect_log second 'message: Программа установки уже запущена!$'
expect_log second 'answer \(quiet run\): OK$'
expect_log second 'exit status 1618$'
for dir in Foreign Bad Second NoTemp NoSuchTemp; do [ -e "$c/E2E/$dir" ] && fail "C:\\E2E\\$dir was created"; done
expect_log notemp 'message: Не удалось создать временную папку программы установки в каталоге <C:\\E2E\\NoSuchTemp\\>: .+'
expect_log notemp 'exit status 2$'
grep -q 'уже запущена' "$out/notemp.log" && fail "notemp: the missing temporary folder is reported as a running copy"
[ -z "$(ls -A "$c/E2E/OtherTemp")" ] || fail "the refused second copy wrote into its temporary folder: $(ls -A "$c/E2E/OtherTemp")"

# The library was loaded from a folder of the run's own inside the temporary folder, and every
# run took its folder away when it ended, whatever its outcome.
module=$(tr -d '\r' < "$out/cases.out" | sed -n 's/^module: //p' | head -n1)
grep -Eiq '^C:\\users\\[^\\]+\\Temp\\setup-[^\\]+\\Cabinet\.dll$' <<<"$module" ||
  fail "the cabinet library was not loaded from a folder of its own in the temporary folder: '$module'"
folder=$(dirname "$c/$(tr '\\' / <<<"${module#C:\\}")")
[ -n "$module" ] && [ -e "$folder" ] && fail "the run's folder $folder is left behind"
# It is the library the program carries.
cmp -s "$out/loaded.dll" "$media/../../src/cabinet/Cabinet.dll" || fail "the loaded CABINET.DLL is not our Cabinet.dll"
grep -q 'removed the folder of an earlier run: .*\\setup-7ffffffc-0badf00d\\' "$out"/*.log ||
  fail "no run said that it removed the folder of the killed run"
left=$(find "$c/users" -maxdepth 3 -ipath '*/temp/setup-*')
[ -z "$left" ] || fail "folders of runs left in the temporary folder: $left"
find "$c/users" -maxdepth 3 -ipath '*/temp/cabinet.dll' | grep -q . && fail "CABINET.DLL written straight into the temporary folder"
finish "$out/session.log" "quiet unattended runs checked"
