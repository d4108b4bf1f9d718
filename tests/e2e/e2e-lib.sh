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
