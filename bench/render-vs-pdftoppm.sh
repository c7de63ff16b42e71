#!/bin/sh
# Page rendering against pdftoppm, side by side: page 1 of each file drawn by tools/render
# and by pdftoppm (one process per page for both) at 72 and at 300 dpi, over the first files
# of ../shared/robust/pdfjs (when it exists) and a generated page of text, shapes and an
# image. Prints the CPU times of both, the ratio render/pdftoppm and the peak resident
# memory of each.
#
#   sh bench/render-vs-pdftoppm.sh [BUILD] [FILES]     (FILES: how many shared files, 40)
set -e
build=${1:-build}
count=${2:-40}
render=$(cd "$build" && pwd)/tools/render
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/generated.pdf" <<'PY'
import sys, zlib
ops = ["BT /F1 10 Tf 12 TL 40 750 Td"]
for line in range(50):
    ops.append("(The quick brown fox jumps over the lazy dog %d times, again and again.) Tj T*" % line)
ops.append("ET")
for i in range(200):
    ops.append("%.2f %.2f %.2f rg %d %d 30 20 re f" % (i % 7 / 7, i % 5 / 5, i % 3 / 3, 40 + (i * 37) % 500, 60 + (i * 53) % 100))
ops.append("q 200 0 0 150 350 420 cm /Im1 Do Q")
content = zlib.compress("\n".join(ops).encode())
img = zlib.compress(bytes((x * 3 + y) % 256 for y in range(300) for x in range(400) for _ in range(3)))
objs = [
    b"<</Type/Catalog/Pages 2 0 R>>",
    b"<</Type/Pages/Kids[3 0 R]/Count 1>>",
    b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</Font<</F1 5 0 R>>/XObject<</Im1 6 0 R>>>>/Contents 4 0 R>>",
    (b"<</Filter/FlateDecode>>", content),
    b"<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>",
    (b"<</Type/XObject/Subtype/Image/Width 400/Height 300/ColorSpace/DeviceRGB/BitsPerComponent 8/Filter/FlateDecode>>", img),
]
out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
offs = []
for n, body in enumerate(objs, 1):
    offs.append(len(out))
    if isinstance(body, tuple):
        d, data = body
        out += b"%d 0 obj\n" % n + d[:-2] + b"/Length %d>>\nstream\n" % len(data) + data + b"\nendstream\nendobj\n"
    else:
        out += b"%d 0 obj\n" % n + body + b"\nendobj\n"
x = len(out)
out += b"xref\n0 %d\n0000000000 65535 f\r\n" % (len(objs) + 1) + b"".join(b"%010d 00000 n\r\n" % o for o in offs)
out += b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, x)
open(sys.argv[1], "wb").write(out)
PY

# CPU seconds (user + system, to the microsecond: the machine is shared, so wall time
# says little) and peak resident kilobytes of one command. The peak comes from GNU time
# when present (0 otherwise): a child forked from Python would count Python's own pages.
measure() {
  python3 - "$work/t" "$@" <<'PY'
import os, resource, sys
out, cmd = sys.argv[1], sys.argv[2:]
timed = os.access("/usr/bin/time", os.X_OK)
if timed: cmd = ["/usr/bin/time", "-f", "%M", "-o", out] + cmd
# Spawned, not forked: a forked Python child costs tens of milliseconds of its own.
quiet = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_WRONLY, 0) for fd in (1, 2)]
# Python's start-up may have run children of its own: only the difference counts.
u0 = resource.getrusage(resource.RUSAGE_CHILDREN)
os.waitpid(os.posix_spawnp(cmd[0], cmd, os.environ, file_actions=quiet), 0)
u = resource.getrusage(resource.RUSAGE_CHILDREN)
peak = open(out).read().split()[-1] if timed else "0"
print("%.4f %s" % (u.ru_utime + u.ru_stime - u0.ru_utime - u0.ru_stime, peak))
PY
}

run_set() {
  label=$1; list=$2; dpi=$3
  tr=0; tp=0; mr=0; mp=0; n=0
  while IFS= read -r f; do
    set -- $(measure "$render" "$f" 1 "$dpi" "$work/mine.ppm"); tr=$(echo "$tr + $1" | bc); [ "$2" -gt "$mr" ] && mr=$2
    set -- $(measure pdftoppm -r "$dpi" -f 1 -l 1 "$f" "$work/oracle"); tp=$(echo "$tp + $1" | bc); [ "$2" -gt "$mp" ] && mp=$2
    rm -f "$work"/oracle*.ppm "$work/mine.ppm"
    n=$((n + 1))
  done < "$list"
  echo "$label, $dpi dpi ($n pages): render $tr s (peak $mr KB), pdftoppm $tp s (peak $mp KB), ratio $(echo "scale=2; $tr / $tp" | bc)"
}

for i in 1 2 3 4 5; do echo "$work/generated.pdf"; done > "$work/generated.list"
shared="$here/../../shared/robust/pdfjs"
[ -d "$shared" ] && find "$shared" -maxdepth 1 -name '*.pdf' | sort | head -n "$count" > "$work/shared.list"
for dpi in 72 300; do
  run_set "generated page x5" "$work/generated.list" "$dpi"
  [ -s "$work/shared.list" ] && run_set "pdfjs first $count files" "$work/shared.list" "$dpi"
done
