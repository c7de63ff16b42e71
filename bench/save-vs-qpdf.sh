#!/bin/sh
# Open + save of every corpus file: the engine (tools/sdfsave, full save with a cross-
# reference stream and object streams, as qpdf writes by default) against `qpdf in out`,
# one process per file for both, on the same files. Prints both totals and the ratio.
#
#   sh bench/save-vs-qpdf.sh [BUILD] [SHARED]
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
shared=${2:-$here/../../shared}
sdfsave=$(cd "$build" && pwd)/tools/sdfsave
if [ ! -d "$shared/corpus" ]; then
  echo "save-vs-qpdf: no corpus in $shared, skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$shared/corpus" -name '*.pdf' | sort > "$work/files"
count=$(wc -l < "$work/files")

run() {  # run <label> <command...>: each file in, $work/out.pdf out; prints seconds and failures
  label=$1
  shift
  failed=0
  start=$(date +%s.%N)
  while IFS= read -r f; do
    "$@" "$f" "$work/out.pdf" >/dev/null 2>&1 || failed=$((failed + 1))
  done < "$work/files"
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc) $failed"
}

# A warm-up pass so that both read the files from the page cache.
run warm cat > /dev/null
set -- $(run engine "$sdfsave"); te=$1; fe=$2
set -- $(run qpdf qpdf); tq=$1; fq=$2
echo "files: $count"
echo "engine open+save: ${te}s ($fe failed)"
echo "qpdf in out:      ${tq}s ($fq failed; qpdf exits non-zero on warnings too)"
echo "engine/qpdf time ratio: $(echo "scale=2; $te / $tq" | bc)"
