#!/bin/sh
# Validates the sample files against PDF/A-2b and PDF/A-1b and shows the verdicts.
set -e
tolva=$1
dir=${2:-examples}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for level in 2B 1B; do
  echo "== tolva --level $level --noxml $dir"
  "$tolva" --level "$level" --noxml "$dir" || true
  echo
done
echo "== tolva -o <tmp> $dir  (XML report)"
"$tolva" -o "$out" "$dir" >/dev/null || true
[ -f "$out/report.xml" ] && sed -n '1,12p' "$out/report.xml"
