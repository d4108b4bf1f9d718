#!/usr/bin/env bash
# A product's COM server is registered although the media's setup.exe is gone by then, as it is
# once the next disk is in the drive: the unattended run waits at the start of its installation
# stage, the test takes setup.exe away, and the registration must still run and succeed. The
# program on the media is marked to be run from the swap file.
#   server-e2e.sh REPO_ROOT MEDIA_DIR WORK_DIR
set -u
root=$1 media=$2 work=$(realpath -m "$3")
. "$(dirname "$0")/e2e-lib.sh"
prefix=$work/prefixes/server out=$work/server run=$work/server/media
wine_session "$prefix" "$@"
rm -rf "$out" && mkdir -p "$out" && cp -r "$media"/. "$run"/ || exit 1
rm -f "$work/server-gate"
log=$out/setup.log

# IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP | IMAGE_FILE_NET_RUN_FROM_SWAP in the file header.
pe=$(od -An -tu4 -j60 -N4 "$run/setup.exe" | tr -d ' ')
flags=$(od -An -tu2 -j$((pe + 22)) -N2 "$run/setup.exe" | tr -d ' ')
[ $((flags & 0x0C00)) -eq $((0x0C00)) ] || fail "setup.exe is not marked to run from the swap file ($flags)"

{
  "$root/tools/wine-run" "$prefix" reg add 'HKCU\Software\Wine\DllOverrides' /v cabinet /d native,builtin /f >/dev/null 2>&1
  "$root/tools/wine-run" "$prefix" "$(winpath "$run/setup.exe")" /AUTO=ON /QUIET=ON /TYPE=FULL '/PATH=C:\E2E\Server' \
    '/GROUP=E2E Сервер' "/LOG=$(winpath "$log")" &
  setup=$!
  # The run has started (the cabinet library is in place) and waits for the gate: the disk goes.
  for _ in $(seq 600); do grep -q 'cabinet library: ' "$log" 2>/dev/null && break; sleep 0.1; done
  mv "$run/setup.exe" "$out/setup.exe.gone"
  touch "$work/server-gate"
  wait $setup
  echo $? > "$out/status"
} > "$out/session.log" 2>&1

[ "$(cat "$out/status")" = 0 ] || fail "exit status $(cat "$out/status"), not 0"
tr -d '\r' <"$log" | grep -q 'COM server: C:\\E2E\\Server\\server.dll (status 0)$' ||
  fail "the server's registration: $(grep 'COM server' "$log")"
mark=$("$root/tools/wine-run" "$prefix" reg query 'HKCU\Software\SetupEngineTests\Marks' /v VersionedServer 2>/dev/null | tr -d '\r')
grep -qi 'C:\\E2E\\Server\\server.dll' <<<"$mark" || fail "DllRegisterServer did not run: $mark"
[ -e "$run/setup.exe" ] && fail "the media's setup.exe came back"
cat "$log" >> "$out/session.log"
finish "$out/session.log" "e2e_server_without_media: registered with the media's setup.exe gone"
