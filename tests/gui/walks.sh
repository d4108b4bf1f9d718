#!/usr/bin/env bash
# The attended wizard, walked through page by page by the GUI driver: every page; the fewest
# pages; the licence page reset by Back and then refused; custom components with dependencies;
# the "no component" error; a 1C:Enterprise installation unticked; Cancel answered No and Yes;
# Cancel during the run; the restart choice (recorded by the test build, never carried out).
# Each page is pictured (build tree only). Then the disk says what was really installed.
#   walks.sh REPO_ROOT MEDIA_DIR PROGRAMS_DIR GUIDRIVER_EXE WORK_DIR
set -u
root=$1 media=$2 programs=$3 driver=$4 work=$(realpath -m "$5")
. "$root/tests/e2e/e2e-lib.sh"
prefix=$work/prefixes/gui out=$work/gui run=$work/gui/media shots=$work/gui/shots
wine_session "$prefix" "$@"
c=$prefix/drive_c
rm -rf "$out" && mkdir -p "$out" "$shots" && cp -r "$media"/. "$run"/ || exit 1
for v in all gated few license runbefore; do cp "$programs/setup_walk_$v.exe" "$run/DISK1/" || exit 1; done
exe() { winpath "$run/DISK1/setup_walk_$1.exe"; }
shot() { echo "screenshot \"$(winpath "$shots/$1.bmp")\""; }
welcome='Эта программа произведет установку на Ваш компьютер программного продукта:'
yes='Да, я согласен(на) с условиями, продолжить установку продукта'
no='Нет, я несогласен(на) с условиями соглашения, прервать установку'
give_up='Вы подтверждаете выход из программы и прекращение установки ?'
tree='SysTreeView32:1'
# The first lines of a walk: start the program and wait for its welcome page.
begin() { printf '%s\n' "start as=$1 \"$2\"" "window \"*Мастер установки\" class=TfrmWork \"text=$welcome\" timeout=30000"; }
# From the welcome page over the accepted licence and the readme to the directory page.
to_directory() {
  printf '%s\n' 'click "Далее >>"' "click \"$yes\"" 'click "Далее >>"' \
    'expect-text "Прочитайте краткую информацию о программном продукте"' 'click "Далее >>"' \
    'expect-text "Текущая директория для установки:"'
}

# The folders the walks need: the 1C:Enterprise installations and infobase, and a program group
# that exists already.
mkdir -p "$c/1C/Buh/BIN" "$c/1C/Trade/BIN" "$c/1C/Base"
start_menu=$(find "$c/users" -maxdepth 8 -type d -path '*Start Menu/Programs' | head -n1)
[ -n "$start_menu" ] || { echo "no Start Menu Programs folder in the prefix"; exit 1; }
mkdir -p "$start_menu/Существующая группа"
rm -f "$out/gate"

# Every page, with the custom type and the 1C page; ends by choosing the restart.
cat > "$out/all.gdr" <<GDR
$(begin walk "$(exe all)")
expect-text "Демонстрационный продукт"
expect-text "Последнюю версию продукта Вы можете найти на нашем Web-сайте:"
expect-text https://example.org/setup-engine/download
expect-disabled "<< Назад"
expect-enabled "Далее >>"
$(shot 01-welcome)
click "Далее >>"
expect-text "Вам необходимо принять условия лицензионного соглашения"
expect-text "ЛИЦЕНЗИОННОЕ СОГЛАШЕНИЕ"
expect-unchecked "$yes"
expect-unchecked "$no"
expect-disabled "Далее >>"
expect-enabled "<< Назад"
click "$yes"
expect-enabled "Далее >>"
$(shot 02-license)
click "Далее >>"
expect-text "Прочитайте краткую информацию о программном продукте"
expect-text "This product shows every kind of record"
$(shot 03-readme)
click "Далее >>"
expect-text "Текущая директория для установки:"
expect-value Edit:1 "C:\Program Files\Демо"
expect-text "Конфигурации системы \"1С: Предприятие\""
select ListBox:1 Демо-база
expect-value Edit:1 "C:\1C\Base"
click "По умолчанию"
expect-value Edit:1 "C:\Program Files\Демо"
set-text Edit:1 ""
type Edit:1 ":C:\:*?<>|/W\""
expect-value Edit:1 "C:\W"
# A right click chooses the folder under it, as a left click does.
tree-rclick $tree "Мой компьютер/ (C:)/windows"
tree-expect-selected $tree "Мой компьютер/ (C:)/windows"
expect-text "C:\windows"
set-text Edit:1 "C:\Walk\All"
$(shot 04-directory)
click "<< Назад"
expect-text "Прочитайте краткую информацию о программном продукте"
click "<< Назад"
expect-unchecked "$yes"
expect-unchecked "$no"
expect-disabled "Далее >>"
click "$yes"
click "Далее >>"
expect-text "Прочитайте краткую информацию о программном продукте"
click "Далее >>"
expect-text "Текущая директория для установки:"
expect-value Edit:1 "C:\Walk\All"
# A folder or a group that names its way out of itself is refused, and the page stays.
set-text Edit:1 "C:\Walk\All\..\Other"
click "Далее >>"
answer "Каталог установки \"C:\Walk\All\..\Other\" не подходит" ok
expect-text "Текущая директория для установки:"
set-text Edit:1 "C:\Walk\All"
click "Далее >>"
expect-text "Выберите интересующий Вас сценарий установки программного продукта:"
expect-checked "Полная установка"
expect-text "Типовая установка предусматривает"
click "Установка по выбору (для опытных пользователей!)"
$(shot 05-type)
click "Далее >>"
expect-text "Выберите для установки компоненты, необходимые Вам:"
tree-expect $tree Программа 1
tree-expect $tree Программа/Дополнения 1
tree-expect $tree Программа/Дополнения/Примеры 1
tree-expect $tree Программа/Справка 1
tree-missing $tree "Общие компоненты"
tree-space $tree Программа/Дополнения/Примеры
tree-expect $tree Программа/Дополнения/Примеры 2
tree-expect $tree Программа/Дополнения 2
tree-expect $tree Программа/Справка 1
tree-expect $tree Программа 3
tree-click $tree Программа
tree-expect $tree Программа 2
tree-expect $tree Программа/Справка 2
tree-expect $tree Программа/Дополнения/Примеры 2
click "Далее >>"
answer "Не выбрано ни одного компонента!" ok
expect-text "Выберите для установки компоненты, необходимые Вам:"
tree-click $tree Программа/Справка
tree-expect $tree Программа/Справка 1
tree-expect $tree Программа 3
tree-expect $tree Программа/Дополнения 2
# A press that collapses a node toggles nothing, and the next press on a state image counts.
tree-click $tree Программа button
tree-click $tree Программа
tree-expect $tree Программа 2
$(shot 06-collapsed)
tree-expect $tree Программа/Справка 2
tree-click $tree Программа
tree-expect $tree Программа/Дополнения/Примеры 1
tree-click $tree Программа button
# Unselecting the add-ons unselects the shared components they need, but the help still needs
# them, so they come back (checked on disk below).
tree-click $tree Программа/Дополнения
tree-expect $tree Программа 3
tree-expect $tree Программа/Дополнения 2
tree-expect $tree Программа/Дополнения/Примеры 2
tree-expect $tree Программа/Справка 1
# A quick second press on a mark arrives as a double click: it toggles once more (twice in all,
# so the mark is back), and the node stays expanded.
tree-expect-expanded $tree Программа/Дополнения yes
tree-dblclick $tree Программа/Дополнения
tree-expect $tree Программа/Дополнения 2
tree-expect $tree Программа/Дополнения/Примеры 2
tree-expect-expanded $tree Программа/Дополнения yes
tree-expect $tree Программа 3
tree-expect $tree Программа/Справка 1
$(shot 06-components)
click "Далее >>"
expect-text "Выберите программную группу"
expect-value Edit:1 "Демонстрационный продукт"
select ListBox:1 "Существующая группа"
expect-value Edit:1 "Существующая группа"
click "По умолчанию"
expect-value Edit:1 "Демонстрационный продукт"
set-text Edit:1 "..\Группа обхода"
click "Далее >>"
answer "Группа программ \"..\Группа обхода\" не подходит" ok
expect-text "Выберите программную группу"
set-text Edit:1 "Группа обхода"
$(shot 07-group)
click "Далее >>"
expect-text "Запрос на копирование файлов внешних компонент"
tree-expect $tree "1С: Предприятие 7.5" 4
tree-expect $tree "1С: Предприятие 8" 5
tree-expect $tree "1С: Предприятие 7.7/Бухгалтерия" 1
tree-expect $tree "1С: Предприятие 7.7/Торговля" 1
tree-click $tree "1С: Предприятие 7.7/Торговля"
tree-expect $tree "1С: Предприятие 7.7/Торговля" 2
tree-click $tree "1С: Предприятие 7.7"
tree-expect $tree "1С: Предприятие 7.7" 4
$(shot 08-1c)
click "Далее >>"
expect-text "Для завершения установки необходимо перезагрузить компьютер." timeout=90000
expect-checked "Осуществить перезагрузку позднее"
expect-unchecked "Осуществить перезагрузку немедленно"
expect-disabled "Далее >>"
expect-disabled "<< Назад"
$(shot 10-finish-restart)
click "Осуществить перезагрузку немедленно"
click Завершить
wait-exit 0 of=walk only=TfrmWork,TfrmMain,WineConsoleClass
GDR

# Cancel while the run waits at its first program: the run stops, the finish page says it is
# incomplete and offers no restart, and closing asks nothing.
cat > "$out/gated.gdr" <<GDR
$(begin gated "$(exe gated)")
$(to_directory)
set-text Edit:1 "C:\Walk\Gated"
click "Далее >>"
expect-checked "Полная установка"
click "Далее >>"
expect-text "Выберите программную группу"
click "Далее >>"
click "Далее >>"
expect-text "Выполняемая операция:"
expect-text "Запуск внешних программ..."
expect-disabled "Далее >>"
expect-disabled "<< Назад"
$(shot 09-progress)
click Отмена
make-file "$(winpath "$out/gate")"
answer "$give_up" yes
# The cancel came after the list's folder was made: the run undoes it and says so.
expect-text "Установка не была завершена. Компьютер возвращен в прежнее состояние." timeout=60000
expect-missing "Осуществить перезагрузку немедленно"
expect-missing "Осуществить перезагрузку позднее"
$(shot 10-finish-incomplete)
click Завершить
wait-exit 1 of=gated only=TfrmWork,TfrmMain,WineConsoleClass
GDR

# The fewest pages: welcome, readme, directory, progress, finish. Cancel answered No stays.
cat > "$out/few.gdr" <<GDR
$(begin few "$(exe few)")
click "Далее >>"
expect-text "Прочитайте краткую информацию о программном продукте"
expect-enabled "<< Назад"
click "Далее >>"
expect-text "Текущая директория для установки:"
click Отмена
answer "$give_up" no
expect-text "Текущая директория для установки:"
click "<< Назад"
expect-text "Прочитайте краткую информацию о программном продукте"
click "Далее >>"
expect-text "Текущая директория для установки:"
set-text Edit:1 "C:\Walk\Few"
click "Далее >>"
expect-text "Установка успешно завершена. Для выхода из программы установки нажмите кнопку \"Завершить\"" timeout=90000
expect-missing "Осуществить перезагрузку немедленно"
$(shot 10-finish-success)
click Завершить
wait-exit 0 of=few only=TfrmWork,TfrmMain,WineConsoleClass
GDR

# Back from the directory page to a licence page asked afresh; then the licence refused.
cat > "$out/license.gdr" <<GDR
$(begin license "$(exe license)")
click "Далее >>"
click "$yes"
click "Далее >>"
expect-text "Текущая директория для установки:"
set-text Edit:1 "C:\Walk\Refused"
click "<< Назад"
expect-text "Вам необходимо принять условия лицензионного соглашения"
expect-unchecked "$yes"
expect-unchecked "$no"
expect-disabled "Далее >>"
click "$no"
expect-enabled "Далее >>"
click "Далее >>"
answer "Программа установки завершает свою работу. Установка программного продукта не была произведена." ok
wait-exit 1 of=license
GDR

# Cancel on the type page, answered Yes: the end, nothing installed.
cat > "$out/cancel.gdr" <<GDR
$(begin cancel "$(exe all)")
$(to_directory)
set-text Edit:1 "C:\Walk\Cancelled"
click "Далее >>"
expect-text "Выберите интересующий Вас сценарий установки программного продукта:"
click Отмена
answer "$give_up" yes
wait-exit 1 of=cancel
GDR

# Leaving the directory page runs record 30's commands (a failing one shows its error and the
# next follows), then stops silently at record 31, whose program is missing: page 4 stays.
cat > "$out/runbefore.gdr" <<GDR
$(begin before "$(exe runbefore)")
$(to_directory)
set-text Edit:1 "C:\Walk\Before"
click "Далее >>"
answer "" ok timeout=30000
expect-text "Текущая директория для установки:"
no-window * class=#32770 for=1500
expect-text "Текущая директория для установки:"
click Отмена
answer "$give_up" yes
wait-exit 1 of=before
GDR

# The second disk is not where the program looks. Unattended, nobody is asked: the run ends
# with an error that says where the disk was looked for. Attended, the next-disk prompt asks
# for it; Cancel there asks whether to give up (No: the prompt comes back); the folder typed
# into the prompt is taken and the installation ends with the files of both disks.
disks=$out/disks
mkdir -p "$disks/elsewhere" && cp -r "$run/DISK1" "$disks/" && cp -r "$run/DISK2" "$disks/elsewhere/Второй диск" || exit 1
cat > "$out/nextdisk_auto.gdr" <<GDR
start as=auto "$(winpath "$disks/DISK1/setup_walk_all.exe")" /AUTO=ON "/PATH=C:\Walk\Disk"
answer "Не найден CAB-файл <setup2.cab> в каталоге <$(winpath "$disks/DISK1")\\>!" ok timeout=60000
wait-exit 1 of=auto
GDR
cat > "$out/nextdisk.gdr" <<GDR
$(begin disk "$(winpath "$disks/DISK1/setup_walk_all.exe")")
$(to_directory)
set-text Edit:1 "C:\Walk\Disk"
click "Далее >>"
expect-checked "Полная установка"
click "Далее >>"
expect-text "Выберите программную группу"
click "Далее >>"
click "Далее >>"
window "Вставьте следующий диск" text=setup2.cab timeout=60000
expect-text "Вставьте следующий диск с файлом"
expect-enabled ОК
expect-enabled Обзор...
expect-value Edit:1 "$(winpath "$disks/DISK1")\\\\"
# (the picture waits for the box to be painted)
sleep 500
$(shot 11-next-disk)
click Отмена
answer "$give_up" no
window "Вставьте следующий диск" text=setup2.cab
set-text Edit:1 "$(winpath "$disks/elsewhere/Второй диск")"
click ОК
window "*Мастер установки" class=TfrmWork
expect-text "Для завершения установки необходимо перезагрузить компьютер" timeout=90000
# Escape with the restart chosen ends the program without restarting: only the button restarts.
click "Осуществить перезагрузку немедленно"
expect-checked "Осуществить перезагрузку немедленно"
key Завершить escape
wait-exit 0 of=disk only=TfrmWork,TfrmMain,WineConsoleClass
GDR

walks="all gated few license cancel runbefore nextdisk_auto nextdisk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Демонстрационный продукт'
export SETUP_FIXTURE_LOG=$(winpath "$out/recorder.log")
wr() { "$root/tools/wine-run" "$prefix" "$@"; }
{
  wr reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  wr reg add 'HKLM\SOFTWARE\1C\1Cv7\7.7\Бухгалтерия' /v 1CPath /d 'C:\1C\Buh\BIN\1cv7.exe' /f >/dev/null 2>&1
  wr reg add 'HKLM\SOFTWARE\1C\1Cv7\7.7\Торговля' /v 1CPath /d 'C:\1C\Trade\BIN\1cv7.exe' /f >/dev/null 2>&1
  wr reg add 'HKCU\Software\1C\1Cv7\7.7\Titles' /v 'C:\1C\Base' /d 'Демо-база' /f >/dev/null 2>&1
  for walk in $walks; do
    wr reg delete "$uninstall_key" /f >/dev/null 2>&1
    wr "$driver" -q -f "$(winpath "$out/$walk.gdr")" > "$out/$walk.log" 2>&1
    echo $? > "$out/status.$walk"
    find "$c/users" -name restart-request.txt > "$out/restart.$walk"
    if [ "$walk" = all ]; then
      # Later walks have no 1C page, so every installation found gets its copy again.
      for product in Buh Trade; do [ -e "$c/1C/$product/BIN/demo.txt" ] && echo $product; done > "$out/1c.all"
    fi
    find "$c/users" -name restart-request.txt -delete
  done
} >"$out/session.log" 2>&1

for walk in $walks; do
  cat "$out/$walk.log" >> "$out/session.log"
  [ "$(cat "$out/status.$walk" 2>/dev/null)" = 0 ] || fail "$walk: the driver's expectations failed (status $(cat "$out/status.$walk" 2>/dev/null))"
done
for picture in "$shots"/*.bmp; do [ -e "$picture" ] && to_png "$picture"; done

# The custom selection: the partly selected program and its help, not the add-ons; the shared
# component only because the help needs it (it was unselected with everything before);
# demo.txt copied into the ticked 1C installation only.
all=$c/Walk/All
for f in demo.txt readme.txt license.txt hello.txt hello.txt.ran; do
  [ -f "$all/$f" ] || fail "custom walk: $f not installed"
done
[ -e "$all/Дополнения/extra.txt" ] && fail "custom walk: an unselected group's file was installed"
[ -e "$all/Дополнения/Примеры/Данные" ] && fail "custom walk: an unselected group's folder was made"
[ -e "$all/setup.tmp" ] && fail "custom walk: the temporary file stayed"
[ -f "$c/Program Files/Common Files/Demo Shared/shared.txt" ] || fail "custom walk: the dependency was not installed"
[ "$(cat "$out/1c.all")" = Buh ] || fail "1C copies: only Buh is ticked, but these got demo.txt: $(cat "$out/1c.all")"
cmp -s "$root/examples/demo/files/demo.txt" "$c/1C/Buh/BIN/demo.txt" || fail "the 1C copy differs from demo.txt"
[ -f "$start_menu/Группа обхода/Демо-программа.lnk" ] || fail "custom walk: no shortcut in the chosen program group"
[ -s "$out/restart.all" ] || fail "the restart chosen on the finish page was not requested"
[ -s "$out/restart.nextdisk" ] && fail "Escape on the finish page requested the restart"

# The cancelled run stopped before any file; the refused licence and the cancelled wizard
# installed nothing; the short wizard's only type (typical) is applied as an unattended run
# would: the examples are not installed.
[ -e "$c/Walk/Gated/demo.txt" ] && fail "cancelled run: files were installed"
[ -e "$c/Walk/Refused" ] && fail "refused licence: the folder was made"
[ -e "$c/Walk/Cancelled" ] && fail "cancelled wizard: the folder was made"
[ -e "$c/Program Files/Демо" ] && fail "the default folder was made although never chosen"
for f in demo.txt Дополнения/extra.txt; do
  [ -f "$c/Walk/Few/$f" ] || fail "short wizard: $f not installed"
done
[ -e "$c/Walk/Few/Дополнения/Примеры/example.txt" ] && fail "short wizard: the typical type was not applied"
[ -f "$start_menu/Демонстрационный продукт/Демо-программа.lnk" ] || fail "short wizard: no shortcut in the script's group"
# The run-before program: written to the temporary folder as runbefore.exe, started for each
# command with %file% replaced, in order; nothing of record 31.
log=$(tr -d '\r' < "$out/recorder.log" 2>/dev/null)
[ "$(grep -c '^cmdline=' <<<"$log")" = 2 ] || fail "run-before: expected two starts, log: $log"
grep -q '^cmdline=.*runbefore.exe"\? /first *$' <<<"$log" || fail "run-before: first command missing: $log"
grep -q '^cmdline=.*runbefore.exe"\? /second *$' <<<"$log" || fail "run-before: second command missing: $log"
grep -q '^exe=.*\\runbefore.exe$' <<<"$log" || fail "run-before: not started as runbefore.exe: $log"
[ "$(grep '^cmdline=' <<<"$log" | head -n1 | grep -c first)" = 1 ] || fail "run-before: commands out of order: $log"

for pair in demo.txt=demo.txt license.txt=license.txt hello.txt=hello.txt extras/extra.txt=Дополнения/extra.txt \
            extras/example.txt=Дополнения/Примеры/example.txt; do
  cmp -s "$root/examples/demo/files/${pair%%=*}" "$c/Walk/Disk/${pair#*=}" || fail "next disk: ${pair#*=} not installed as in the product"
done

echo "pictures: $shots"
finish "$out/session.log" "wizard walks checked"
