#!/usr/bin/env bash
# Runs the window test program at one screen resolution, in a Wine prefix that only these runs
# use (one at a time), with its own display and wineserver: Wine takes the resolution from the
# prefix's registry when a program starts, so no other test sees it.
#   run-at-dpi.sh REPO_ROOT PREFIX DPI TEST_EXE SHOTS_DIR
set -u
root=$1 prefix=$(realpath -m "$2") dpi=$3 exe=$4 shots=$(realpath -m "$5")
. "$root/tests/e2e/e2e-lib.sh"
wine_session "$prefix" "$@"
"$root/tools/wine-run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
  >/dev/null 2>&1 || { echo "cannot set the resolution in $prefix"; exit 1; }
rm -rf "$shots" && mkdir -p "$shots" || exit 1
SETUP_TEST_DPI=$dpi SETUP_TEST_SHOTS=$(winpath "$shots") "$root/tools/wine-run" "$prefix" "$exe"
status=$?
for picture in "$shots"/*.bmp; do [ -f "$picture" ] && to_png "$picture"; done
echo "pictures of the windows at $dpi DPI: $shots"
exit $status
