#!/bin/sh
# Converts every metadata file of the conformance corpus and checks the copies from the
# outside: the revalidation reports no metadata code (e_PDFA7...), `pdfinfo -meta` prints
# the catalog's XMP packet, and exempi reads the PDF/A identification (part and, but for
# PDF/A-4, conformance) of the target level back from that packet. Prints the counts and every file that misses one.
#
#   sh tools/metadata-conversion-check.sh [BUILD] [SHARED]
set -u
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
shared=${2:-$here/../../shared}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
[ -f "$shared/corpus/MANIFEST.tsv" ] || { echo "no corpus in $shared"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
total=0 converted=0 clean=0 printed=0 identified=0
grep -P '\tMetadata|/6\.[67] Metadata/|Metadata/' "$shared/corpus/MANIFEST.tsv" | cut -f1,2 | sort -u > "$work/list"
while IFS="$(printf '\t')" read -r path level; do
  total=$((total + 1))
  out="$work/out$total"
  mkdir -p "$out"
  "$tolva" -c -x -l "$level" -o "$out" "$shared/corpus/$path" > "$work/log" 2>&1
  copy=$(find "$out" -name '*.pdf' | head -1)
  if [ -z "$copy" ]; then echo "not converted: $path"; continue; fi
  converted=$((converted + 1))
  # The revalidation's codes follow its CNV line.
  if sed -n '/^CNV-/,$p' "$work/log" | grep -q 'e_PDFA7'; then
    echo "metadata code after conversion: $path: $(sed -n '/^CNV-/,$p' "$work/log" | grep -o 'e_PDFA7[0-9]*' | sort -u | tr '\n' ' ')"
  else
    clean=$((clean + 1))
  fi
  pdfinfo -meta "$copy" > "$work/packet.xmp" 2>/dev/null
  if grep -q 'xmpmeta' "$work/packet.xmp"; then printed=$((printed + 1)); else echo "pdfinfo prints no XMP: $path"; fi
  part=$(echo "$level" | cut -c1)
  conf=$(echo "$level" | cut -c2)
  if [ "$(exempi -X -g pdfaid:part "$work/packet.xmp" 2>/dev/null)" = "$part" ] &&
     { [ -z "$conf" ] || [ "$part" = 4 ] || [ "$(exempi -X -g pdfaid:conformance "$work/packet.xmp" 2>/dev/null)" = "$conf" ]; }; then
    identified=$((identified + 1))
  else
    echo "exempi reads no $level identification: $path"
  fi
done < "$work/list"
echo "metadata files $total, converted $converted, no metadata code after conversion $clean, pdfinfo prints XMP $printed, exempi reads the identification $identified"
