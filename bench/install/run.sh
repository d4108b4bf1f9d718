#!/usr/bin/env bash
# Times an unattended installation of one product (600 files, about 40 MB, half text-like and
# half random data, in twelve folders, with its uninstall list and UnInstall.exe) by our
# setup.exe (packed by mksetup, MSZIP) and by an NSIS installer of the same files (zlib; it
# writes its uninstaller and an uninstall key), both under Wine in one prefix, alternating,
# five runs each. Prints both medians and the ratio NSIS / ours (above 1: ours is faster).
#   bench/install/run.sh [STUB [UNINSTALLER]]
#     (default: the Windows build's setupstub.exe and UnInstall.exe)
# Needs makensis (Debian's nsis package; installed here when it is missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if [ "${1:-}" = --inner ]; then
  shift
  work=$1 prefix=$2 runs=$3
  winpath() { echo "Z:${1//\//\\}"; }
  now() { date +%s.%N; }
  c=$prefix/drive_c
  # Wine's own window handling, as a new prefix has it (the session turned it off): each program
  # is measured with the windows it shows.
  tools/wine-run "$prefix" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  # Deleting many files slows the file system's next creations for a while (ext4 skips the
  # inodes just freed until their table is written): nothing is deleted while runs are timed,
  # each run installs into folders of its own, and which installer goes first alternates. One
  # untimed pair warms the caches.
  rm -rf "$c"/BenchOurs* "$c"/BenchNsis*
  sync
  ours=() nsis=()
  one() {  # KIND RUN: prints the seconds
    local t0 t1 status=0
    t0=$(now)
    if [ "$1" = ours ]; then
      tools/wine-run "$prefix" "$work/ours/DISK1/setup.exe" /AUTO=ON /QUIET=ON "/PATH=C:\\BenchOurs$2" \
        "/LOG=$(winpath "$work/ours-$2.log")" >/dev/null 2>&1 || status=$?
    else
      tools/wine-run "$prefix" "$work/nsis-setup.exe" /S "/D=C:\\BenchNsis$2" >/dev/null 2>&1 || status=$?
    fi
    t1=$(now)
    [ "$status" -eq 0 ] || { echo "run $2 failed: $1 exit status $status" >&2; exit 1; }
    echo "$t1 - $t0" | bc
  }
  one ours 0 >/dev/null
  one nsis 0 >/dev/null
  for run in $(seq 1 "$runs"); do
    if [ $((run % 2)) -eq 1 ]; then
      o=$(one ours "$run")
      n=$(one nsis "$run")
    else
      n=$(one nsis "$run")
      o=$(one ours "$run")
    fi
    found_ours=$(find "$c/BenchOurs$run" -type f | wc -l)
    found_nsis=$(find "$c/BenchNsis$run" -type f | wc -l)
    # 600 files, the uninstall list and UnInstall.exe; 600 files and the NSIS uninstaller.
    if [ "$found_ours" -ne 602 ] || [ "$found_nsis" -ne 601 ]; then
      echo "run $run: files: ours $found_ours, NSIS $found_nsis" >&2
      exit 1
    fi
    ours+=("$o") nsis+=("$n")
    printf 'run %d: ours %.2f s, NSIS %.2f s\n' "$run" "$o" "$n"
  done
  rm -rf "$c"/BenchOurs* "$c"/BenchNsis*
  median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }
  mo=$(median "${ours[@]}") mn=$(median "${nsis[@]}")
  printf 'median: ours %.2f s, NSIS %.2f s; ratio NSIS/ours %.2f (goal at least 1.0)\n' "$mo" "$mn" "$(echo "$mn / $mo" | bc -l)"
  exit 0
fi

stub=${1:-$root/build/windows/src/tools/mksetup/setupstub.exe}
uninstaller=${2:-$root/build/windows/src/uninstaller/UnInstall.exe}
command -v makensis >/dev/null || apt-get install -y nsis >/dev/null
command -v bc >/dev/null || apt-get install -y bc >/dev/null
if [ $# -eq 0 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target mksetup_stub uninstaller >/dev/null
fi
cmake --preset native >/dev/null
cmake --build --preset native --target mksetup >/dev/null
mksetup=$root/build/native/src/tools/mksetup/mksetup
prefix=$root/build/windows/bench-install-prefix
work=$(mktemp -d /tmp/bench-install.XXXX)
# BENCH_KEEP=1 keeps the packed products and the logs of our runs.
[ -n "${BENCH_KEEP:-}" ] && echo "== work folder: $work" || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
random.seed(600)
words = [b"setup ", b"cabinet ", b"folder ", b"disk ", b"file\r\n", b"1C ", b"data ", b"module ", b"report "]
script = ["DESCRIPTION = Bench product", "PRODUCTID = BENCH-INSTALL-1", "DIRECTORY = \\Bench", "GROUPNAME = Bench",
          "FULLINSTALL = 1", "UNINSTALL = 1", "GROUPUNINSTALLPATH = 4", "UNINSTALLPATH = \\uninst.lst",
          "GROUP = 1 0 0 1 1 4", "GROUPCAPTION = All"]
item = 2
for d in range(12):
    script += [f"DIR = {item} 1 0 0 0 0", f"DIRPATH = \\part{d:02}"]
    item += 1
total = 0
for i in range(600):
    size = random.randint(4 * 1024, 130 * 1024)
    if i % 2:
        data = random.randbytes(size)
    else:
        data = b"".join(random.choice(words) for _ in range(size // 5 + 1))[:size]
    name = f"part{i % 12:02}/file{i:03}.{'bin' if i % 2 else 'txt'}"
    os.makedirs(os.path.join(work, "files", os.path.dirname(name)), exist_ok=True)
    with open(os.path.join(work, "files", name), "wb") as f:
        f.write(data)
    total += size
    script += [f"FILE = {item} 1 0 0 0 0 0 0 0 {size} 0 0  0 0 0 0", "FILEPATH = \\" + name.replace("/", "\\")]
    item += 1
# The uninstaller in a hidden group of every installation type, as a custom installation cannot untick it.
script += [f"GROUP = {item} 0 1 1 1 4", "GROUPCAPTION = Uninstall",
           f"FILE = {item + 1} {item} 0 0 0 0 0 0 0 0 0 0  0 0 0 0", "FILEPATH = \\UnInstall.exe"]
open(os.path.join(work, "setup.ini"), "w").write("\r\n".join(script) + "\r\n")
nsi = f"""Unicode true
SetCompressor zlib
RequestExecutionLevel admin
Name "Bench product"
OutFile "{work}/nsis-setup.exe"
InstallDir "$PROGRAMFILES\\Bench"
Section
  SetOutPath "$INSTDIR"
  File /r "{work}/files/*.*"
  WriteUninstaller "$INSTDIR\\uninst.exe"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench product NSIS" "DisplayName" "Bench product"
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench product NSIS" "UninstallString" '"$INSTDIR\\uninst.exe"'
  WriteRegStr HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench product NSIS" "InstallLocation" "$INSTDIR"
SectionEnd
Section "Uninstall"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bench product NSIS"
SectionEnd
"""
open(os.path.join(work, "bench.nsi"), "w").write(nsi)
print(f"== payload: {total} bytes in 600 files")
PY
"$mksetup" --fix-sizes --stub "$stub" --uninstaller "$uninstaller" --files "$work/files" "$work/setup.ini" "$work/ours" >/dev/null
makensis -V1 "$work/bench.nsi"
echo "== packed: ours $(du -cb "$work"/ours/DISK1/* | tail -1 | cut -f1) bytes, NSIS $(stat -c %s "$work/nsis-setup.exe") bytes"
tools/wine-session "$prefix" "$root/bench/install/run.sh" --inner "$work" "$prefix" 5
