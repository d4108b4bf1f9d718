# Shared by the end-to-end scripts (sourced).

# The calling script runs again, with the same arguments, inside tools/wine-session on PREFIX
# (a virtual display and one wineserver for the whole run); in that run the call returns at
# once. PREFIX is the test's own and is made anew first, so that nothing another test or an
# earlier, stopped run left behind changes the outcome. Called once the script knows its prefix,
# before its work starts.
wine_session() {
  local prefix=$1; shift
  if [ "${SETUP_WINE_SESSION:-}" != "$prefix" ]; then
    "$root/tools/wine-prefix" --fresh "$prefix" || exit 1
    SETUP_WINE_SESSION=$prefix exec "$root/tools/wine-session" "$prefix" bash "$0" "$@"
  fi
}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The path Wine's programs see for a path of ours (drive Z: is the Unix root).
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
# Pictures go beside the bitmaps as .png when ImageMagick is here, for a person to look at.
to_png() { command -v convert >/dev/null && convert "$1" "${1%.bmp}.png" 2>/dev/null; true; }
# The end of a test: the failures' count decides, the session log helps to find out why.
finish() {
  local log=$1 ok=$2
  if [ "$failures" -ne 0 ]; then echo "--- session log"; cat "$log"; exit 1; fi
  echo "$ok"
}

# The life cycle of a product (callers set prefix, out, c, product and ukey, the uninstall key).
# Snapshots: the software parts of both registry hives, and every path under drive C: but
# Wine's own folder. (The rest of the registry is Wine's record of the virtual hardware and
# display, which it rewrites as programs start.)
wr() { "$root/tools/wine-run" "$prefix" "$@"; }
snapshot() {
  wr regedit /E "Z:$out/$1.hklm.reg" 'HKEY_LOCAL_MACHINE\Software' >/dev/null 2>&1
  wr regedit /E "Z:$out/$1.hkcu.reg" 'HKEY_CURRENT_USER\Software' >/dev/null 2>&1
  # Wine notes there what a window it showed found of the mouse and the screen.
  iconv -f UTF-16 -t UTF-8 "$out/$1.hkcu.reg" | awk '/^\[/ { wine = index($0, "\\Software\\Wine\\Temporary System Parameters") > 0 } !wine' |
    iconv -f UTF-8 -t UTF-16 >"$out/$1.hkcu.tmp" && mv "$out/$1.hkcu.tmp" "$out/$1.hkcu.reg"
  # An empty folder of a run in the temporary folder counts as nothing here: the uninstaller's
  # copy runs from one, which nothing can delete while the copy runs, and the next run of
  # setup.exe or UnInstall.exe removes it (uninstall-e2e.sh checks that).
  (cd "$c" && find . -path ./windows -prune -o -ipath './users/*/Temp/setup-*' -type d -empty -prune -o -print |
    LC_ALL=C sort) > "$out/$1.files"
}
# The uninstaller's temporary copy, in a folder of its own in the temporary folder.
temp_copy() { find "$c/users" -ipath '*/Temp/setup-*/UnInstall.exe' | grep -q .; }
run_folders() { find "$c/users" -mindepth 3 -maxdepth 3 -ipath '*/Temp/setup-*' -type d; }
# Waits (at most 30 s) for the uninstaller's temporary copy to go; 1 when it stays.
wait_copy_gone() { for _ in $(seq 150); do temp_copy || return 0; sleep 0.2; done; return 1; }
# The command the uninstall entry of $product registers, as the control panel would run it,
# with /silence; ARG names the files kept of it.
remove_silently() {
  wr regedit /E "Z:$out/entry.reg" "$ukey\\$product" >/dev/null 2>&1
  local command
  command=$(iconv -f UTF-16 -t UTF-8 "$out/entry.reg" | tr -d '\r' | sed -n 's/^"UnInstallString"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g; s/\\"/"/g')
  echo "$command" > "$out/command.$1"
  eval "set -- $command"
  timeout 120 "$root/tools/wine-run" "$prefix" "$@" /silence
}
