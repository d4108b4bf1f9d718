#!/usr/bin/env bash
# Times mksetup natively on a product of 5,000 files / 120 MB (half text-like, half random
# data) and reports its peak memory, which must not grow with the product: files are streamed
# through the cabinet writer. mkcab on the same files is the peer measured in the same run.
#   bench/mksetup/run.sh [STUB]   (default: the Windows build's setupstub.exe)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
stub=${1:-$root/build/windows/src/tools/mksetup/setupstub.exe}
mksetup=$root/build/native/src/tools/mksetup/mksetup
mkcab=$root/build/native/src/tools/mkcab/mkcab
work=$(mktemp -d /tmp/bench-mksetup.XXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files"
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
random.seed(5000)
words = [b"setup ", b"cabinet ", b"folder ", b"disk ", b"file\r\n", b"1C ", b"data "]
script = ["DESCRIPTION = Bench", "FULLINSTALL = 1", "GROUP = 1 0 0 1 1 4", "GROUPCAPTION = All"]
listing = []
for i in range(5000):
    size = 24 * 1024 + random.randint(-8000, 8000)
    if i % 2:
        data = os.urandom(size)
    else:
        data = b"".join(random.choice(words) for _ in range(size // 5 + 1))[:size]
    name = f"f{i:04d}.bin"
    with open(os.path.join(work, "files", name), "wb") as f:
        f.write(data)
    item = i + 2
    script += [f"FILE = {item} 1 0 0 0 0 0 0 0 {size} 0 0  0 0 0 0", f"FILEPATH = \\{name}"]
    listing.append(f"{item}={name}")
open(os.path.join(work, "setup.ini"), "w").write("\n".join(script) + "\n")
open(os.path.join(work, "cabinet.lst"), "w").write("\n".join(f"{l.split('=')[0]}=files/{l.split('=')[1]}" for l in listing) + "\n")
PY
echo "== data: $(du -sb "$work/files" | cut -f1) bytes in 5000 files"
for size in 650M 2.88M; do
  echo "== mksetup, MSZIP, disk size $size"
  /usr/bin/time -f "mksetup: %e s, peak %M KB" "$mksetup" --stub "$stub" --files "$work/files" --disk-size $size \
    "$work/setup.ini" "$work/out-$size" | grep -E "^(Bytes|Disks)"
done
echo "== mkcab, MSZIP, one cabinet (peer)"
(cd "$work" && /usr/bin/time -f "mkcab: %e s, peak %M KB" "$mkcab" -i 1 "$work/peer.cab" @cabinet.lst >/dev/null)
