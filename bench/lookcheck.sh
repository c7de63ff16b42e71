#!/bin/sh
# What conversion's look check (--compare-pages) costs: each folder converted to PDF/A-2b in
# one batch (one process, one job) without the check and with it, one after the other.
# Prints per folder the processor time of both runs, the ratio, and from the JSON report the
# pages compared, the pages drawn (those whose drawing inputs changed) and the pages found
# changed.
#
#   sh bench/lookcheck.sh [BUILD] [SHARED]
set -e
build=${1:-build}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
here=$(cd "$(dirname "$0")" && pwd)
shared=${2:-$here/../../shared}
command -v jq >/dev/null && [ -x /usr/bin/time ] || { echo "lookcheck: needs jq and /usr/bin/time"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Processor time (user + system) of one run, in seconds.
cpu() {
  /usr/bin/time -f '%U %S' -o "$work/t" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$work/t" | awk '{ print $1 + $2 }'
}

echo "folder   files  convert_s  with_check_s  ratio  pages  drawn  changed"
for name in pdfjs qpdf; do
  dir=$shared/robust/$name
  [ -d "$dir" ] || { echo "$name: not found in $shared/robust, skipped"; continue; }
  rm -rf "$work/a" "$work/b"
  plain=$(cpu "$tolva" -c -x --verb 0 --timeout 120 -o "$work/a" "$dir")
  check=$(cpu "$tolva" -c -x --verb 0 --timeout 120 --compare-pages --json "$work/run.json" -o "$work/b" "$dir")
  jq -r '[.files[].conversion.look | select(. != null)] |
         "\(length) \(map(.compared) | add) \(map(.drawn) | add) \(map(.changed | length) | add)"' "$work/run.json" |
    awk -v n="$name" -v p="$plain" -v c="$check" \
      '{ printf "%-8s %5d  %9.2f  %12.2f  %5.2f  %5d  %5d  %7d\n", n, $1, p, c, (p > 0 ? c / p : 0), $2, $3, $4 }'
done
