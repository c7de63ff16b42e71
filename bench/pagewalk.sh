#!/bin/sh
# Page walking against pdftotext, side by side: every page of every file is read with its
# text decoded (pagedump --text) and the same files go through pdftotext -raw, one process
# per file for both. Two sets: the shared conformance corpus (small files, when ../shared
# exists) and a generated text-heavy document of 300 pages. Prints both times and the ratio.
#
#   sh bench/pagewalk.sh [BUILD]
set -e
build=${1:-build}
pagedump=$(cd "$build" && pwd)/tools/pagedump
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/text.pdf" <<'PY'
import sys, zlib
pages, objs = 300, []
font = "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>"
words = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor".split()
def content(p):
    out = ["BT /F1 9 Tf 11 TL 40 760 Td"]
    for line in range(64):
        w = [words[(p * 7 + line * 3 + k) % len(words)] for k in range(12)]
        out.append("[(" + " ".join(w[:6]) + ") -250 (" + " ".join(w[6:]) + ")] TJ T*")
    out.append("ET")
    return zlib.compress("\n".join(out).encode())
n_font = 3
kids = " ".join(f"{4 + 2 * i} 0 R" for i in range(pages))
objs.append("<</Type/Catalog/Pages 2 0 R>>")
objs.append(f"<</Type/Pages/Kids[{kids}]/Count {pages}>>")
objs.append(font)
for i in range(pages):
    objs.append(f"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</Font<</F1 3 0 R>>>>/Contents {5 + 2 * i} 0 R>>")
    objs.append(content(i))
out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
offs = []
for n, body in enumerate(objs, 1):
    offs.append(len(out))
    if isinstance(body, bytes):
        out += b"%d 0 obj\n<</Length %d/Filter/FlateDecode>>\nstream\n" % (n, len(body)) + body + b"\nendstream\nendobj\n"
    else:
        out += f"{n} 0 obj\n{body}\nendobj\n".encode()
x = len(out)
out += b"xref\n0 %d\n0000000000 65535 f\r\n" % (len(objs) + 1) + b"".join(b"%010d 00000 n\r\n" % o for o in offs)
out += b"trailer\n<</Size %d/Root 1 0 R>>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, x)
open(sys.argv[1], "wb").write(out)
PY

now() { date +%s.%N; }
run_set() {
  label=$1; list=$2
  n=$(wc -l < "$list")
  t0=$(now)
  while IFS= read -r f; do "$pagedump" --text "$f" > /dev/null 2>&1 || true; done < "$list"
  t1=$(now)
  while IFS= read -r f; do pdftotext -raw "$f" - > /dev/null 2>&1 || true; done < "$list"
  t2=$(now)
  echo "$label ($n files): pagedump --text $(echo "$t1 - $t0" | bc) s, pdftotext -raw $(echo "$t2 - $t1" | bc) s, ratio $(echo "scale=3; ($t1 - $t0) / ($t2 - $t1)" | bc)"
}

echo "$work/text.pdf" > "$work/text.list"
for i in 1 2 3 4 5; do echo "$work/text.pdf"; done > "$work/text5.list"
run_set "generated 300-page text document x5" "$work/text5.list"
shared="$here/../../shared/corpus"
if [ -d "$shared" ]; then
  find "$shared" -name '*.pdf' | sort > "$work/corpus.list"
  run_set "shared corpus" "$work/corpus.list"
fi
