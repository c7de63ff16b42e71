#!/bin/sh
# Validation speed against qpdf --check on the same files, side by side: a generated clean
# 1,000-page PDF/A-2b file (each tool run 5 times, best time), then every file of the
# conformance corpus (one process per file for both tools, at the file's level for tolva),
# by wall time and by processor time. Prints the times and the ratio tolva/qpdf (below 1.0:
# tolva is faster).
#
#   sh bench/validate-vs-qpdf.sh [BUILD]
set -e
build=${1:-build}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/../../shared/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/pages1000.pdf" <<'PY'
import sys, zlib
pages = 1000
xmp = ('<?xpacket begin="\xef\xbb\xbf" id="W5M0MpCehiHzreSzNTczkc9d"?>'
       '<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">'
       '<rdf:Description rdf:about="" xmlns:pdfaid="http://www.aiim.org/pdfa/ns/id/">'
       '<pdfaid:part>2</pdfaid:part><pdfaid:conformance>B</pdfaid:conformance>'
       '</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>').encode("latin-1")
objs = {}
first_page = 4
kids = " ".join(f"{first_page + 2 * i} 0 R" for i in range(pages))
objs[1] = b"<</Type/Catalog/Pages 2 0 R/Metadata 3 0 R>>"
objs[2] = f"<</Type/Pages/Kids[{kids}]/Count {pages}>>".encode()
objs[3] = b"<</Type/Metadata/Subtype/XML/Length %d>>\nstream\n" % len(xmp) + xmp + b"\nendstream"
for i in range(pages):
    p, c = first_page + 2 * i, first_page + 2 * i + 1
    ops = "".join(f"{(i * 7 + k) % 500} {(k * 13) % 700} 40 30 re {k % 2} g f\n" for k in range(60))
    data = zlib.compress(ops.encode())
    objs[p] = f"<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<<>>/Contents {c} 0 R>>".encode()
    objs[c] = b"<</Filter/FlateDecode/Length %d>>\nstream\n" % len(data) + data + b"\nendstream"
out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
offsets = {}
for n in sorted(objs):
    offsets[n] = len(out)
    out += b"%d 0 obj\n" % n + objs[n] + b"\nendobj\n"
xref = len(out)
size = max(objs) + 1
out += b"xref\n0 %d\n0000000000 65535 f\r\n" % size
out += b"".join(b"%010d 00000 n\r\n" % offsets[n] for n in range(1, size))
out += b"trailer\n<</Size %d/Root 1 0 R/ID[<%s><%s>]>>\nstartxref\n%d\n%%%%EOF\n" % (size, b"ab" * 16, b"ab" * 16, xref)
open(sys.argv[1], "wb").write(out)
PY

now() { date +%s.%N; }
# Best of five runs of a command, in seconds.
best() {
  b=""
  for i in 1 2 3 4 5; do
    s=$(now); "$@" >/dev/null 2>&1 || true; e=$(now)
    t=$(echo "$e - $s" | bc)
    if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
ratio() { echo "scale=2; $1 / $2" | bc; }

verdict=$("$tolva" -x -l 2B "$work/pages1000.pdf" | grep -o 'VLD-\[[A-Z]*\]')
t1=$(best "$tolva" -x -l 2B "$work/pages1000.pdf")
q1=$(best qpdf --check "$work/pages1000.pdf")
echo "file                     tolva_s   qpdf_s   tolva/qpdf"
echo "1000 pages (tolva $verdict)  $t1  $q1  $(ratio "$t1" "$q1")"

if [ -f "$corpus/MANIFEST.tsv" ]; then
  tail -n +2 "$corpus/MANIFEST.tsv" | grep -v '	UA1	' | cut -f1,2 > "$work/files"
  n=$(wc -l < "$work/files")
  # Wall time, and the processor time (user + system) of all the processes, which a busy
  # machine disturbs far less.
  loop() {  # tool: prints "wall_s cpu_s"
    /usr/bin/time -f "%e %U %S" -o "$work/t" sh -c '
      while IFS="	" read -r path level; do
        if [ "$1" = tolva ]; then "$2" -x -l "$level" "$3/$path"; else qpdf --check "$3/$path"; fi >/dev/null 2>&1
      done < "$4"; true' sh "$1" "$tolva" "$corpus" "$work/files"
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/t"
  }
  set -- $(loop tolva); tc=$1; tcpu=$2
  set -- $(loop qpdf); qc=$1; qcpu=$2
  echo "corpus, $n files          $tc  $qc  $(ratio "$tc" "$qc")"
  echo "corpus, processor time    $tcpu  $qcpu  $(ratio "$tcpu" "$qcpu")"
else
  echo "corpus: not found beside the checkout (../shared/corpus), skipped"
fi
