#!/usr/bin/env bash
# The demo product as one signed file: mksetup --one-file signs it with a test certificate
# through osslsigncode, which then verifies it; it installs unattended and attended, from its
# own file. The same file with one byte of its cabinet changed, and cut short inside its
# cabinet, is refused with status 2 before anything changes, unattended and attended. The
# unattended installation's uninstall entry tells the product's version, publisher and the
# command that removes it silently.
#   onefile-e2e.sh REPO_ROOT NATIVE_MKSETUP STUB_EXE GUIDRIVER_EXE WORK_DIR
set -u
root=$1 native=$2 stub=$3 driver=$4 work=$(realpath -m "$5")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/onefile out=$work/onefile
wine_session "$prefix" "$@"
c=$prefix/drive_c
demo=$root/examples/demo
rm -rf "$out" && mkdir -p "$out/dl" || exit 1
[ -x "$native" ] || { echo "FAIL: the native mksetup is missing at $native (build the native preset first)"; exit 1; }

# A self-signed code-signing certificate of the test's own.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Setup Engine Test' -keyout "$out/key.pem" \
  -out "$out/cert.pem" -addext extendedKeyUsage=codeSigning >"$out/openssl.log" 2>&1 || fail "openssl: $(cat "$out/openssl.log")"
sign="sh -c 'osslsigncode sign -certs \"$out/cert.pem\" -key \"$out/key.pem\" -in \"\$0\" -out \"\$0.signed\" >/dev/null && mv \"\$0.signed\" \"\$0\"'"
setup=$out/dl/setup.exe
"$native" --one-file "$setup" --stub "$stub" --files "$demo/files" --list "$demo/cabinet.lst" --logo "$demo/logo.bmp" \
  --banner 1="$demo/banner-service.bmp" --banner 2="$demo/banner-blog.bmp" --icon "$demo/demo.ico" \
  --compression lzx:21 --sign "$sign" "$demo/setup.utf8.ini" >"$out/mksetup.log" 2>&1 || fail "mksetup --one-file: $(cat "$out/mksetup.log")"
[ "$(ls "$out/dl")" = setup.exe ] || fail "the download folder holds more than setup.exe: $(ls "$out/dl")"
osslsigncode verify -CAfile "$out/cert.pem" -in "$setup" >"$out/verify.log" 2>&1 || fail "osslsigncode verify: $(cat "$out/verify.log")"

# The cabinet after the program, as its header gives its size.
offset=$(grep -abo MSCF "$setup" | tail -n1 | cut -d: -f1)
size=$(od -An -tu4 -j "$((offset + 8))" -N4 "$setup" | tr -d ' ')
[ -n "$offset" ] && [ "$((offset + size))" -lt "$(stat -c %s "$setup")" ] || fail "no cabinet after the program"
cp "$setup" "$out/dl/flipped.exe"
at=$((offset + size / 2))
byte=$(od -An -tu1 -j "$at" -N1 "$setup" | tr -d ' ')
printf "\\$(printf %o $(( (byte + 1) % 256 )))" | dd of="$out/dl/flipped.exe" bs=1 seek="$at" conv=notrunc status=none
head -c "$at" "$setup" > "$out/dl/cut.exe"

uninstall_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
g() { timeout 180 "$root/tools/wine-run" "$prefix" "$driver" "$@"; }
welcome='Эта программа произведет установку на Ваш компьютер программного продукта:'
# Attended: from the welcome page over every page of the demo to the start of the installation
# into the folder $3 (guidriver script lines).
walk() {
  printf '%s\n' "start as=$1 \"$(winpath "$2")\"" "window \"*Мастер установки\" class=TfrmWork \"text=$welcome\" timeout=30000" \
    'click "Далее >>"' 'click "Да, я согласен(на) с условиями, продолжить установку продукта"' 'click "Далее >>"' \
    'expect-text "Прочитайте краткую информацию о программном продукте"' 'click "Далее >>"' \
    'expect-text "Текущая директория для установки:"' "set-text Edit:1 \"$3\"" 'click "Далее >>"' \
    'expect-checked "Полная установка"' 'click "Далее >>"' 'expect-text "Выберите программную группу"' \
    'click "Далее >>"'
}
damaged='Файл установки поврежден или загружен не полностью. Загрузите его заново.'
{
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  # Refused before anything changes: status 2, the reason in the log.
  for bad in flipped cut; do
    timeout 120 "$root/tools/wine-run" "$prefix" "$out/dl/$bad.exe" /AUTO=ON /QUIET=ON '/PATH=C:\OneBad' '/GROUP=Один' \
      "/LOG=$(winpath "$out/$bad.log")"
    echo $? > "$out/status.$bad"
    wr regedit /E "Z:$out/$bad.reg" "$uninstall_key\Демонстрационный продукт" >/dev/null 2>&1
  done
  # Attended, the cut file says so before its first page; the changed byte when the installation starts.
  g start as=cut "$(winpath "$out/dl/cut.exe")" \; answer "$damaged" ok timeout=30000 \; wait-exit 2 of=cut \
    > "$out/attended-cut.log" 2>&1
  echo $? > "$out/status.attended-cut"
  { walk flip "$out/dl/flipped.exe" 'C:\OneBadAttended'; echo "answer \"$damaged\" ok timeout=60000"; echo 'wait-exit 2 of=flip'; } \
    > "$out/flipped.gdr"
  g -f "$(winpath "$out/flipped.gdr")" > "$out/attended-flipped.log" 2>&1
  echo $? > "$out/status.attended-flipped"
  timeout 120 "$root/tools/wine-run" "$prefix" "$setup" /AUTO=ON '/PATH=C:\OneFile' '/GROUP=Один файл'
  echo $? > "$out/status.unattended"
  wr regedit /E "Z:$out/entry.reg" "$uninstall_key\Демонстрационный продукт" >/dev/null 2>&1
  wr reg delete "$uninstall_key\Демонстрационный продукт" /f >/dev/null 2>&1
  { walk good "$setup" 'C:\OneAttended'; echo 'expect-text "Установка успешно завершена." timeout=90000'
    echo 'click Завершить'; echo 'wait-exit 0 of=good only=TfrmWork,TfrmMain,WineConsoleClass'; } > "$out/good.gdr"
  g -f "$(winpath "$out/good.gdr")" > "$out/attended.log" 2>&1
  echo $? > "$out/status.attended"
} >"$out/session.log" 2>&1

status() { cat "$out/status.$1" 2>/dev/null; }
for bad in flipped cut; do
  [ "$(status "$bad")" = 2 ] || fail "$bad file, unattended: exit status $(status "$bad"), expected 2"
  grep -q "$damaged" "$out/$bad.log" 2>/dev/null || fail "$bad file: the log does not give the reason: $(cat "$out/$bad.log" 2>/dev/null)"
  [ -s "$out/$bad.reg" ] && fail "$bad file: an uninstall entry was written"
done
[ "$(status attended-cut)" = 0 ] || fail "cut file, attended: $(cat "$out/attended-cut.log")"
[ "$(status attended-flipped)" = 0 ] || fail "changed file, attended: $(cat "$out/attended-flipped.log")"
for bad in OneBad OneBadAttended; do [ -e "$c/$bad" ] && fail "a refused file created C:\\$bad"; done
[ "$(status unattended)" = 0 ] || fail "unattended run: exit status $(status unattended)"
[ "$(status attended)" = 0 ] || fail "attended run: $(cat "$out/attended.log")"
for value in '"DisplayVersion"="1.2.0"' '"Publisher"="Демо Софт"' '"NoRepair"=dword:00000001' \
             '"QuietUninstallString"="\"C:\\OneFile\\UnInstall.exe\" \"C:\\OneFile\\uninst.lst\" /silence"'; do
  iconv -f UTF-16 -t UTF-8 "$out/entry.reg" 2>/dev/null | tr -d '\r' | grep -qxF "$value" || fail "the uninstall entry lacks $value"
done
for base in "$c/OneFile" "$c/OneAttended"; do
  for f in demo.txt readme.txt license.txt hello.txt; do
    cmp -s "$demo/files/$f" "$base/$f" || fail "installed $base/$f differs or is missing"
  done
  cmp -s "$demo/files/extras/example.txt" "$base/Дополнения/Примеры/example.txt" || fail "$base: example.txt differs or is missing"
done
finish "$out/session.log" "one-file setup signed, verified, installed; damaged copies refused"
