#!/usr/bin/env bash
# The GUI driver against its fixture window under Wine: each command's effect as the window
# shows it, a picture of the window, the time to the first window, and that an unmet
# expectation, a wrong exit status and a bad command fail the driver as they must.
#   driver-e2e.sh REPO_ROOT GUIDRIVER_EXE FIXTURE_EXE WORK_DIR
set -u
root=$1 driver=$2 fixture=$3 work=$(realpath -m "$4")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/driver out=$work/driver
wine_session "$prefix" "$@"
rm -rf "$out" && mkdir -p "$out"
fx=$(winpath "$fixture") script=$(winpath "$(dirname "$0")/driver/selftest.gdr") bmp=$(winpath "$out/fixture.bmp")

g() { "$root/tools/wine-run" "$prefix" "$driver" "$@"; }
{
  g timed-start 'Проба драйвера' Press "$fx" \; -f "$script" \; screenshot "$bmp" \; close \; wait-exit 1 only=DriverFixture > "$out/run.log" 2>&1
  echo $? > "$out/status.run"
  g start "$fx" \; window 'Проба драйвера' \; expect-text 'never shown' timeout=300 > "$out/unmet.log" 2>&1
  echo $? > "$out/status.unmet"
  g expect-windows 0 'Проба драйвера' > "$out/gone.log" 2>&1
  echo $? > "$out/status.gone"
  g start "$fx" \; window 'Проба драйвера' \; close \; wait-exit 7 > "$out/status.log" 2>&1
  echo $? > "$out/status.status"
  g frobnicate > "$out/usage.log" 2>&1
  echo $? > "$out/status.usage"
} >"$out/session.log" 2>&1
cat "$out"/run.log "$out"/unmet.log "$out"/gone.log "$out"/status.log "$out"/usage.log >> "$out/session.log"

status() { cat "$out/status.$1" 2>/dev/null; }
[ "$(status run)" = 0 ] || fail "driver script on the fixture: status $(status run)"
grep -qE '^startup: [0-9.]+ ms$' "$out/run.log" || fail "timed-start printed no time"
grep -qF '"Ветка А" state 1' "$out/run.log" || fail "list shows no tree items"
[ "$(status unmet)" = 1 ] || fail "an unmet expectation: status $(status unmet), expected 1"
grep -q 'FAILED at argument .* (expect-text): no visible text "never shown"' "$out/unmet.log" || fail "an unmet expectation is not reported"
grep -qF '[Button] id=101 "Press"' "$out/unmet.log" || fail "a failure does not list the current window's controls"
[ "$(status gone)" = 0 ] || fail "the fixture started by a failed driver still runs"
[ "$(status status)" = 1 ] || fail "a wrong exit status: driver status $(status status), expected 1"
grep -qF 'exit status 0, expected 7' "$out/status.log" || fail "a wrong exit status is not reported"
[ "$(status usage)" = 2 ] || fail "an unknown command: status $(status usage), expected 2"

# The picture is the window: its size, and mostly the grey face rather than black.
if [ -f "$out/fixture.bmp" ]; then
  size=$(od -An -tu4 -j18 -N8 "$out/fixture.bmp" | tr -s ' ')
  [ "$size" = " 400 400" ] || fail "screenshot size $size, expected 400 400"
  to_png "$out/fixture.bmp"
  if command -v convert >/dev/null; then
    mean=$(convert "$out/fixture.bmp" -format '%[fx:int(mean*100)]' info:)
    [ "$mean" -gt 50 ] || fail "screenshot mostly dark (mean $mean%)"
  fi
else
  fail "no screenshot"
fi
finish "$out/session.log" "driver checked on its fixture"
