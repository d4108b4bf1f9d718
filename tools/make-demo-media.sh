#!/usr/bin/env bash
# The demo product's media, made by mksetup as a vendor makes theirs: DISK1 with setup.exe and
# the first cabinet, DISK2 with the rest.
#   make-demo-media.sh OUTDIR MKSETUP [RUNNER ...]
# RUNNER runs MKSETUP (the Wine runner for the Windows build, nothing for the native one).
# A one-disk build comes first: its setup.exe and half its cabinet make the disk size that
# leaves the last files for DISK2, whatever size the program has grown to.
set -euo pipefail
out=$1 mksetup=$2
shift 2
demo=$(cd "$(dirname "$0")/../examples/demo" && pwd)
cd "$demo"
options=(--files files --list cabinet.lst --logo logo.bmp --banner 1=banner-service.bmp --banner 2=banner-blog.bmp
         --icon demo.ico --compression none --set-id 1251)
rm -rf "$out" "$out.probe" "$out.command"
"$@" "$mksetup" "${options[@]}" setup.utf8.ini "$out.probe" >/dev/null
disk=$(( $(stat -c %s "$out.probe/DISK1/setup.exe") + $(stat -c %s "$out.probe/DISK1/setup1.cab") / 2 ))
rm -rf "$out.probe"
# The command, for tools/demo.sh to show how the media came about.
echo "mksetup ${options[*]} --disk-size $disk setup.utf8.ini media" | tee "$out.command"
"$@" "$mksetup" "${options[@]}" --disk-size "$disk" setup.utf8.ini "$out"
test -f "$out/DISK2/setup2.cab" && test ! -e "$out/DISK3"
