#!/bin/sh
# Conversion time per file against `qpdf in out` on the same files, side by side: the
# real-world pdf.js files converted to PDF/A-2b, then the conformance corpus converted at
# each file's own level (tolva -c, revalidation of the copy included, no XML report). One
# process per file for each tool, the two run one after the other on each file so that a busy
# machine slows both alike. Prints per folder the files, total and mean processor time per
# file of each tool, the ratio of the totals, and the median and 90th percentile of the
# per-file wall-time ratios (below 1.0: tolva is faster).
#
#   sh bench/convert-vs-qpdf.sh [BUILD] [SHARED] [STEP]   (STEP: every STEP-th file, default 1)
set -e
build=${1:-build}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
here=$(cd "$(dirname "$0")" && pwd)
shared=${2:-$here/../../shared}
step=${3:-1}
command -v qpdf >/dev/null && [ -x /usr/bin/time ] || { echo "convert-vs-qpdf: needs qpdf and /usr/bin/time"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One tool on one file: prints its processor time (user + system, in 10 ms ticks) and its
# wall time (to the microsecond), in seconds.
measure() {
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/t" "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  tail -n 1 "$work/t" | awk -v w="$(echo "$end - $start" | bc)" '{ print $1 + $2, w }'
}

# compare <name> <list>: the list holds "path<TAB>level" lines; every STEP-th is converted.
compare() {
  awk -v s="$step" '(NR - 1) % s == 0' "$2" > "$work/sample"
  : > "$work/times"
  while IFS='	' read -r f level; do
    rm -rf "$work/out" && mkdir "$work/out"
    echo "$(measure "$tolva" -c -l "$level" --noxml -o "$work/out" "$f") $(measure qpdf "$f" "$work/out.pdf")" \
      >> "$work/times"
  done < "$work/sample"
  # Columns: tolva cpu, tolva wall, qpdf cpu, qpdf wall. Per-file ratios by wall time, which
  # is fine-grained where processor ticks would read most files as 0 or 10 ms.
  awk '{ print $2 / $4 }' "$work/times" | sort -g > "$work/ratios"
  awk -v name="$1" -v med="$(awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }' "$work/ratios")" \
      -v p90="$(awk '{ r[NR] = $1 } END { print r[int(NR * 0.9 + 0.5)] }' "$work/ratios")" '
    { t += $1; q += $3 }
    END { printf "%-8s %5d  %8.2f  %8.2f  %7.1f  %7.1f  %8.2f  %6.2f  %6.2f\n",
                 name, NR, t, q, 1000 * t / NR, 1000 * q / NR, (q > 0 ? t / q : 0), med, p90 }' "$work/times"
}

echo "folder   files   tolva_s    qpdf_s  tolva_ms  qpdf_ms  tolva/qpdf  median  p90"
echo "  (totals and means: processor time; median and 90th percentile of the per-file wall-time ratio)"
if [ -d "$shared/robust/pdfjs" ]; then
  find "$shared/robust/pdfjs" -name '*.pdf' -type f | sort | sed 's/$/	2B/' > "$work/pdfjs"
  compare pdfjs "$work/pdfjs"
else
  echo "pdfjs: not found in $shared/robust, skipped"
fi
if [ -f "$shared/corpus/MANIFEST.tsv" ]; then
  tail -n +2 "$shared/corpus/MANIFEST.tsv" | grep -v '	UA1	' | cut -f1,2 |
    sed "s|^|$shared/corpus/|" > "$work/corpus"
  compare corpus "$work/corpus"
else
  echo "corpus: not found in $shared, skipped"
fi
