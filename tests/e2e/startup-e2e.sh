#!/usr/bin/env bash
# The start-up cases of setup.exe, driven through its windows: a second copy against one that
# waits on its first page; a script with a conversion error; a program without a script; an
# /AUTO= value that is not ON. None of them may install anything.
#   startup-e2e.sh REPO_ROOT MEDIA_DIR SETUP_BADSCRIPT_EXE SETUP_NOSCRIPT_EXE GUIDRIVER_EXE WORK_DIR
set -u
root=$1 media=$2 bad=$3 noscript=$4 driver=$5 work=$(realpath -m "$6")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/startup out=$work/startup run=$work/startup/media
wine_session "$prefix" "$@"
c=$prefix/drive_c
rm -rf "$out" && mkdir -p "$out" && cp -r "$media"/. "$run"/ || exit 1
# Beside the demo cabinets, so that they would install if they went that far.
cp "$bad" "$run/DISK1/setup_badscript.exe" && cp "$noscript" "$run/DISK1/setup_noscript.exe" || exit 1
setup=$(winpath "$run/DISK1/setup.exe")
welcome='Эта программа произведет установку на Ваш компьютер программного продукта:'

# The first copy stays on its welcome page; the second (attended) finds the product's setup
# running, says so and ends with status 2 without a page of its own; the first goes on as before.
cat > "$out/second.gdr" <<GDR
start as=first "$setup" "/PATH=C:\\\\E2E\\\\Attended"
window "*Мастер установки" class=TfrmWork "text=$welcome" timeout=30000
start as=second "$setup" "/PATH=C:\\\\E2E\\\\Second"
wait-box "Программа установки уже запущена!"
expect-value #65535 "Программа установки уже запущена!"
expect-windows 1 "*Мастер установки" class=TfrmWork "text=$welcome"
answer "Программа установки уже запущена!" ok
wait-exit 2 of=second
window "*Мастер установки" class=TfrmWork "text=$welcome"
expect-windows 1 "*Мастер установки" class=TfrmWork
expect-enabled "Далее >>"
expect-disabled "<< Назад"
click Отмена
answer "Вы подтверждаете выход из программы и прекращение установки ?" no
expect-text "$welcome"
click Отмена
answer "Программа установки не завершила свою работу." yes
wait-exit 1 of=first
GDR

# While its box is up, the second copy's own wizard shows no page (its frame is on screen, as
# the box belongs to its first show) and the first copy still shows its page. Apart from the
# case above, so that a failure here does not hide how the first copy fares. Unattended, the
# second copy ends with the status deployment tools try again on.
cat > "$out/secondframe.gdr" <<GDR
start as=first "$setup" "/PATH=C:\\\\E2E\\\\Attended"
window "*Мастер установки" class=TfrmWork "text=$welcome" timeout=30000
start as=second "$setup" /AUTO=ON "/PATH=C:\\\\E2E\\\\Second"
wait-box "Программа установки уже запущена!"
expect-windows 1 "*Мастер установки" class=TfrmWork "text=$welcome" timeout=1000
expect-windows 2 "*Мастер установки" class=TfrmWork timeout=1000
expect-windows 0 "*Мастер установки" class=TfrmWork "text=Выполняемая операция:" timeout=1000
answer "Программа установки уже запущена!" ok
wait-exit 1618 of=second
window "*Мастер установки" class=TfrmWork "text=$welcome"
click Отмена
answer "Вы подтверждаете выход" yes
wait-exit 1 of=first
GDR

# Reading stops at the size column "447b": the message, then the end, with no wizard and no
# background window, even with /AUTO=ON.
cat > "$out/badscript.gdr" <<GDR
start "$(winpath "$run/DISK1/setup_badscript.exe")" /AUTO=ON "/PATH=C:\\\\E2E\\\\Bad"
wait-box "is not a valid integer value" timeout=30000
expect-value #65535 "'447b' is not a valid integer value."
only-windows #32770
answer "'447b' is not a valid integer value." ok
wait-exit 2 only=
GDR

# No script: the end, silently.
cat > "$out/noscript.gdr" <<GDR
start "$(winpath "$run/DISK1/setup_noscript.exe")" /AUTO=ON "/PATH=C:\\\\E2E\\\\None"
wait-exit 2 only= timeout=30000
GDR

# /AUTO=ONX is not ON: the wizard asks as usual.
cat > "$out/onx.gdr" <<GDR
start "$setup" /AUTO=ONX /TYPE=FULL "/PATH=C:\\\\E2E\\\\Onx"
window "*Мастер установки" class=TfrmWork "text=$welcome" timeout=30000
click Отмена
answer "Вы подтверждаете выход" yes
wait-exit 1 only=TfrmWork,TfrmMain,#32770
GDR

bad_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Продукт с ошибкой в сценарии'
{
  "$root/tools/wine-run" "$prefix" reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  "$root/tools/wine-run" "$prefix" reg delete "$bad_key" /f >/dev/null 2>&1
  for case in second secondframe badscript noscript onx; do
    "$root/tools/wine-run" "$prefix" "$driver" -f "$(winpath "$out/$case.gdr")" > "$out/$case.log" 2>&1
    echo $? > "$out/status.$case"
  done
  "$root/tools/wine-run" "$prefix" reg query "$bad_key" > "$out/badkey.txt" 2>&1
  echo $? > "$out/status.badkey"
} >"$out/session.log" 2>&1

for case in second secondframe badscript noscript onx; do
  cat "$out/$case.log" >> "$out/session.log"
  [ "$(cat "$out/status.$case" 2>/dev/null)" = 0 ] || fail "$case: the driver's expectations failed (status $(cat "$out/status.$case" 2>/dev/null))"
done
for dir in Attended Second Bad None Onx; do
  [ -e "$c/E2E/$dir" ] && fail "C:\\E2E\\$dir was created"
done
[ "$(cat "$out/status.badkey")" = 0 ] && fail "the program with the bad script registered its product"
finish "$out/session.log" "start-up cases checked"
