#!/bin/sh
# Opening every file of the conformance corpus, loading every object and decoding every
# stream (sdfdump --check), side by side with qpdf --check on the same files: total time,
# the time ratio, and the peak resident memory per file (median and largest).
# Usage: bench/open-vs-qpdf.sh [build-dir] [folder]   (default folder: ../shared/corpus)
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
corpus=${2:-$here/../../shared/corpus}
sdfdump=$build/tools/sdfdump
[ -x "$sdfdump" ] || { echo "no $sdfdump"; exit 1; }
[ -d "$corpus" ] || { echo "no corpus at $corpus: skipped"; exit 0; }
command -v qpdf >/dev/null && [ -x /usr/bin/time ] || { echo "needs qpdf and /usr/bin/time"; exit 1; }

list=$(mktemp)
trap 'rm -f "$list" "$list".*' EXIT
find "$corpus" -name '*.pdf' -type f | sort > "$list"

# Runs "$@ FILE" over every file; writes "cpu-seconds kilobytes" per file to $list.$1 and
# the wall time of the whole loop to $list.$1.wall.
measure() {
  tag=$1; shift
  : > "$list.$tag"
  start=$(date +%s.%N)
  while IFS= read -r f; do
    /usr/bin/time -f '%U %S %M' -o "$list.t" "$@" "$f" >/dev/null 2>&1
    tail -n 1 "$list.t" | awk '{ print $1 + $2, $3 }' >> "$list.$tag"
  done < "$list"
  echo "$(date +%s.%N) - $start" | bc > "$list.$tag.wall"
}

measure ours "$sdfdump" --check
measure qpdf qpdf --check

summary() {
  sort -n -k2 "$list.$1" | awk -v name="$2" -v wall="$(cat "$list.$1.wall")" '
    { t += $1; m[NR] = $2 }
    END { printf "%-16s files %5d  wall %7.2f s  cpu (10 ms ticks) %6.2f s  peak RSS median %6d kB  max %7d kB\n",
                 name, NR, wall, t, m[int((NR + 1) / 2)], m[NR] }'
}
echo "open, load every object, decode every stream: $(wc -l < "$list") files of $corpus"
summary ours "sdfdump --check"
summary qpdf "qpdf --check"
paste "$list.ours" "$list.qpdf" | awk -v wo="$(cat "$list.ours.wall")" -v wq="$(cat "$list.qpdf.wall")" '
  { to += $1; tq += $3; mo += $2; mq += $4 }
  END { printf "sdfdump/qpdf: wall time %.2f, cpu time %.2f, mean peak RSS %.2f\n", wo / wq, to / tq, mo / mq }'
