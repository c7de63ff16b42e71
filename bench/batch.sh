#!/bin/sh
# A batch of thousands of small files in one tolva run: the report is streamed, so peak
# memory must not grow with the number of files. Runs 300 and 3000 files side by side,
# prints peak RSS and time of both and the ratios, and times qpdf --check over the same
# 3000 files for comparison (one process per file, as a batch script would run it).
#
#   sh bench/batch.sh [BUILD]
set -e
build=${1:-build}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import os, sys
root = sys.argv[1]
def pdf(i):
    objs = ["<</Type/Catalog/Pages 2 0 R>>",
            "<</Type/Pages/Kids[3 0 R]/Count 1>>",
            "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Contents 4 0 R>>"]
    content = f"0 0 1 rg 10 10 {100 + i % 50} 100 re f".encode()
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offs = []
    for n, body in enumerate(objs, 1):
        offs.append(len(out)); out += f"{n} 0 obj\n{body}\nendobj\n".encode()
    offs.append(len(out))
    out += b"4 0 obj\n<</Length %d>>\nstream\n" % len(content) + content + b"\nendstream\nendobj\n"
    x = len(out)
    out += b"xref\n0 5\n0000000000 65535 f\r\n" + b"".join(b"%010d 00000 n\r\n" % o for o in offs)
    out += b"trailer\n<</Size 5/Root 1 0 R/ID[<%032x><%032x>]>>\nstartxref\n%d\n%%%%EOF\n" % (i, i, x)
    return bytes(out)
for n in (300, 3000):
    d = os.path.join(root, f"in{n}")
    os.makedirs(d)
    for i in range(n):
        with open(os.path.join(d, f"f{i:05d}.pdf"), "wb") as f: f.write(pdf(i))
PY

measure() {  # prints "seconds peak_kb"
  /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>&1 || true
  cat "$work/t"
}
set -- $(measure "$tolva" -o "$work/out300" "$work/in300"); t300=$1; m300=$2
set -- $(measure "$tolva" -o "$work/out3000" "$work/in3000"); t3000=$1; m3000=$2
start=$(date +%s.%N)
for f in "$work"/in3000/*.pdf; do qpdf --check "$f" >/dev/null 2>&1 || true; done
tq=$(echo "$(date +%s.%N) - $start" | bc)
entries=$(grep -c '<Pass\|<Fail' "$work/out3000/report.xml" || true)
echo "files   tolva_s  peak_rss_kb"
echo "300     $t300    $m300"
echo "3000    $t3000   $m3000   (report entries: $entries)"
echo "peak RSS ratio 3000/300: $(echo "scale=2; $m3000 / $m300" | bc)  (constant memory: about 1.0)"
echo "qpdf --check, 3000 files one by one: ${tq}s; tolva/qpdf time ratio: $(echo "scale=2; $t3000 / $tq" | bc)"
