#!/usr/bin/env bash
# Unattended runs of setup.exe on the demo product with the command-line switches in their
# forms: each installation type, the custom type (no type applied), chosen components, switches
# in lower case, switches given twice (the first counts), the program group from /GROUP=. Each
# run must ask nothing, show nothing but the progress page over the background, and end by
# itself with status 0 (the commands the script runs are console programs, whose console
# windows are theirs, as on Windows). One run waits at its start (a command of the installation stage that
# waits for the test's gate), so that the progress page can be looked at, pictured, and a
# second copy started against it (status 1618). Bad switches (folders, groups, an unknown type,
# components that are hidden, malformed or beside another type) end with status 2.
#   switches-e2e.sh REPO_ROOT MEDIA_DIR SETUP_GATED_EXE GUIDRIVER_EXE WORK_DIR
set -u
root=$1 media=$2 gated=$3 driver=$4 work=$(realpath -m "$5")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/switches out=$work/switches run=$work/switches/media
wine_session "$prefix" "$@"
demo=$root/examples/demo
c=$prefix/drive_c shared=$prefix/drive_c/Program\ Files/Common\ Files
rm -rf "$out" && mkdir -p "$out" && cp -r "$media"/. "$run"/ && cp "$gated" "$run/DISK1/setup_gated.exe" || exit 1
rm -f "$work/gate"
setup=$(winpath "$run/DISK1/setup.exe")

# name | switches (one argument each, "|"-separated) | type whose set must be installed
runs=(
  "typical|/auto=on|/type=typical|/path=C:\\E2E\\Typical|/group=E2E Типовая|TYPICAL"
  "custom|/AUTO=ON|/TYPE=Custom|/PATH=C:\\E2E\\Custom|/GROUP=E2E Выбор|NONE"
  "components|/AUTO=ON|/COMPONENTS=10|/PATH=C:\\E2E\\Components|/GROUP=E2E Компоненты|GROUPS 1 8 10"
  "twice|/Auto=On|/TYPE=MINIMAL|/TYPE=FULL|/PATH=C:\\E2E\\First|/PATH=C:\\E2E\\Second|/GROUP=E2E Первая|/GROUP=E2E Вторая|MINIMAL"
)
# name | switches of a run that must end with status 2 and change nothing
refused=(
  "dotpath|/PATH=C:\\E2E\\Refused\\..\\DotPath|/GROUP=E2E Refused"
  "dotgroup|/PATH=C:\\E2E\\DotGroup|/GROUP=..\\..\\E2E Refused"
  "drivegroup|/PATH=C:\\E2E\\DriveGroup|/GROUP=C:\\E2E\\Refused"
  "rootgroup|/PATH=C:\\E2E\\RootGroup|/GROUP=\\E2E Refused"
  "unknowntype|/TYPE=LARGE|/PATH=C:\\E2E\\Unknown|/GROUP=E2E Refused"
  "hiddencomp|/COMPONENTS=13|/PATH=C:\\E2E\\Hidden|/GROUP=E2E Refused"
  "badlist|/COMPONENTS=8;10|/PATH=C:\\E2E\\BadList|/GROUP=E2E Refused"
  "typecomp|/TYPE=FULL|/COMPONENTS=10|/PATH=C:\\E2E\\TypeComp|/GROUP=E2E Refused"
)

g() { "$root/tools/wine-run" "$prefix" "$driver" "$@"; }
{
  "$root/tools/wine-run" "$prefix" reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  # The gated run: the progress page alone, its picture, a second copy refused, then the gate.
  g start as=run "$(winpath "$run/DISK1/setup_gated.exe")" /AUTO=ON /TYPE=FULL '/PATH=C:\E2E\Full' '/GROUP=E2E Полная' \; \
    window '*Мастер установки' class=TfrmWork 'text=Выполняемая операция:' timeout=30000 \; \
    expect-text 'Показатель хода установки:' \; expect-text 'Производится установка программного продукта.' \; \
    no-text 'Эта программа произведет установку' \; \
    expect-disabled '<< Назад' \; expect-disabled 'Далее >>' \; expect-enabled 'Отмена' \; \
    only-windows TfrmWork TfrmMain \; expect-windows 1 '*Мастер установки' class=TfrmWork \; \
    sleep 500 \; screenshot "$(winpath "$out/progress.bmp")" \; screenshot "$(winpath "$out/screen.bmp")" screen \; list \; \
    only-windows TfrmWork TfrmMain \; no-window '*' class=#32770 \; \
    start as=second "$setup" /AUTO=ON '/PATH=C:\E2E\Second copy' \; \
    answer 'Программа установки уже запущена!' ok \; wait-exit 1618 of=second \; \
    expect-text 'Выполняемая операция:' \; \
    make-file "$(winpath "$work/gate")" \; \
    wait-exit 0 of=run only=TfrmWork,TfrmMain,WineConsoleClass timeout=60000 > "$out/full.log" 2>&1
  echo $? > "$out/status.full"
  mv "$shared/Demo Shared" "$out/shared.full" 2>/dev/null
  for r in "${runs[@]}"; do
    IFS='|' read -r -a f <<<"$r"
    name=${f[0]} args=("${f[@]:1:${#f[@]}-2}")
    g start "$setup" "${args[@]}" \; wait-exit 0 only=TfrmWork,TfrmMain,WineConsoleClass timeout=60000 > "$out/$name.log" 2>&1
    echo $? > "$out/status.$name"
    mv "$shared/Demo Shared" "$out/shared.$name" 2>/dev/null
  done
  # Folders and groups that lead out of where they seem to be: refused before any change.
  for r in "${refused[@]}"; do
    IFS='|' read -r -a f <<<"$r"
    g start "$setup" /AUTO=ON /QUIET=ON "${f[@]:1}" \; wait-exit 2 only=TfrmWork,TfrmMain timeout=60000 > "$out/${f[0]}.log" 2>&1
    echo $? > "$out/status.${f[0]}"
  done
} >"$out/session.log" 2>&1
cat "$out"/full.log >> "$out/session.log"
for r in "${runs[@]}" "${refused[@]}"; do cat "$out/${r%%|*}.log" >> "$out/session.log"; done

programs=$(find "$c/users" -type d -path '*Start Menu/Programs' | head -n1)
# Item number -> file of the demo product, for comparing what was installed.
declare -A source
while IFS='=' read -r item path; do source[$item]=$path; done < "$demo/cabinet.lst"

# check NAME TYPE INSTALL_DIR GROUP: the set of TYPE in INSTALL_DIR, and nothing more; the
# shared file of the Common Files folder; the shortcuts in the program group GROUP.
check() {
  local name=$1 type=$2 dir=$3 group=$4 state what kind path item base target
  [ "$(cat "$out/status.$name" 2>/dev/null)" = 0 ] || fail "$name: exit status $(cat "$out/status.$name" 2>/dev/null), expected 0"
  grep -q 'windows checked [1-9][0-9]* times' "$out/$name.log" || fail "$name: the windows were not watched while it ran"
  local expected=()
  while IFS=$'\t' read -r state what kind path item; do
    case $kind in
      4) base=$dir ;;
      3) base=$out/shared.$name; path=${path#\\Demo Shared} ;;
      *) fail "folder kind $kind is not known to this test"; continue ;;
    esac
    target=$base${path//\\//}
    if [ "$state" = present ]; then
      [ "$kind" = 4 ] && expected+=("$target")
      if [ "$what" = file ]; then
        cmp -s "$demo/files/${source[$item]}" "$target" || fail "$name ($type): ${path} missing or different"
      else
        [ -d "$target" ] || fail "$name ($type): directory ${path} missing"
      fi
    elif [ -e "$target" ]; then
      fail "$name ($type): ${path} present, its group is not part of the type (or it is temporary)"
    fi
  done < <(awk -v type="$type" -f "$(dirname "$0")/expected-set.awk" "$demo/setup.utf8.ini")
  # Besides the product: the uninstall list and the copy made by the command run after
  # installation (the script's FILERUNPARAMS of hello.txt).
  expected+=("$dir/uninst.lst" "$dir/hello.txt.ran")
  # Folders are expected as records of their own or on the way to what is expected.
  local all
  all=$(printf '%s\n' "${expected[@]}")
  while IFS= read -r -d '' f; do
    grep -qxF "$f" <<<"$all" || { [ -d "$f" ] && grep -qF "$f/" <<<"$all"; } || fail "$name: unexpected ${f#"$c"/}"
  done < <(find "$dir" -mindepth 1 -print0 2>/dev/null)
  [ -f "$programs/$group/Демо-программа.lnk" ] || fail "$name: no file shortcut in the program group '$group'"
  [ -f "$programs/$group/Документы демо.lnk" ] || fail "$name: no folder shortcut in the program group '$group'"
}

check full FULL "$c/E2E/Full" "E2E Полная"
check typical TYPICAL "$c/E2E/Typical" "E2E Типовая"
check custom NONE "$c/E2E/Custom" "E2E Выбор"
# Group 10 alone: its parents 8 and 1 are partly selected, so their own files come as well;
# 13, which only 8 needs, is not chosen.
check components "GROUPS 1 8 10" "$c/E2E/Components" "E2E Компоненты"
check twice MINIMAL "$c/E2E/First" "E2E Первая"
[ -e "$c/E2E/Second" ] && fail "the second /PATH= was used"
[ -e "$programs/E2E Вторая" ] && fail "the second /GROUP= was used"
[ -e "$c/E2E/Second copy" ] && fail "the second copy installed"
for r in "${refused[@]}"; do
  [ "$(cat "$out/status.${r%%|*}" 2>/dev/null)" = 0 ] || fail "${r%%|*}: not refused with status 2 (${r#*|})"
done
for p in "$c/E2E/Refused" "$c/E2E/DotPath" "$c/E2E/DotGroup" "$c/E2E/DriveGroup" "$c/E2E/RootGroup" \
         "$c/E2E/Unknown" "$c/E2E/Hidden" "$c/E2E/BadList" "$c/E2E/TypeComp" \
         "$programs/E2E Refused" "$programs/../../E2E Refused" "$c/E2E Refused"; do
  [ -e "$p" ] && fail "a refused run made ${p#"$c"/}"
done
grep -qF 'box "Мастер установки": "Программа установки уже запущена!"' "$out/full.log" || fail "the second copy's box is not the expected one"

to_png "$out/progress.bmp"; to_png "$out/screen.bmp"
[ -f "$out/progress.bmp" ] || fail "no picture of the progress page"
finish "$out/session.log" "unattended runs checked (pictures in $out)"
