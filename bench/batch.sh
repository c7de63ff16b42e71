#!/bin/sh
# Batch throughput on the same 3000 small files, side by side: one tolva process (-j 1), one
# worker process per core (-j $(nproc)), and tools/tolva-cluster on a Dask scheduler with
# two local workers; then -j 1 against -j $(nproc) on the real files of the shared corpora
# when they are beside the checkout (the small files take a few microseconds each, too
# little for workers to pay off). Prints files per second, the speed-up over -j 1 and the peak memory of
# one worker (for -j, the largest process of the run; for the cluster, the largest tolva
# process each Dask worker ran). Also checks that the streamed report keeps memory flat:
# peak RSS with 300 and with 3000 files. For the real files it also runs as many independent
# -j 1 processes at once as there are cores: what the machine itself gives, the most -j N can.
#
#   sh bench/batch.sh [BUILD]
set -e
build=${1:-build}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill -9 $p 2>/dev/null || true; done; rm -rf "$work"' EXIT

/usr/bin/python3 "$here/../tools/make-batch-files.py" "$work/in300" 300
/usr/bin/python3 "$here/../tools/make-batch-files.py" "$work/in3000" 3000
n=3000
cores=$(nproc)

measure() {  # prints "seconds peak_kb"
  /usr/bin/time -f "%e %M" -o "$work/t" "$@" >/dev/null 2>&1 || true
  cat "$work/t"
}
rate() { echo "scale=1; $n / $1" | bc; }

set -- $(measure "$tolva" -o "$work/o300" "$work/in300"); m300=$2
set -- $(measure "$tolva" -o "$work/j1" "$work/in3000"); t1=$1; m1=$2
set -- $(measure "$tolva" -j "$cores" -o "$work/jn" "$work/in3000"); tn=$1; mn=$2
# The reports without their first three lines (prologue and the root tag with the run date).
sed 1,3d "$work/j1/report.xml" > "$work/a"
same=$(sed 1,3d "$work/jn/report.xml" | cmp -s - "$work/a" && echo yes || echo NO)

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/dask scheduler --host 127.0.0.1 --port "$port" --no-dashboard >/dev/null 2>&1 &
pids="$pids $!"
for w in 1 2; do
  /usr/bin/dask worker "tcp://127.0.0.1:$port" --nthreads 1 --no-nanny --no-dashboard \
    --local-directory "$work/w$w" >/dev/null 2>&1 &
  pids="$pids $!"
done
/usr/bin/python3 -c "
from distributed import Client
with Client('tcp://127.0.0.1:$port', timeout=60) as c: c.wait_for_workers(2, timeout=120)"
s=$(date +%s.%N)
/usr/bin/python3 "$here/../tools/tolva-cluster" --scheduler "tcp://127.0.0.1:$port" --tolva "$tolva" --chunk 100 \
  -- -o "$work/cl" "$work/in3000" 2>"$work/cl.log"
tc=$(echo "$(date +%s.%N) - $s" | bc)
peaks=$(sed -n 's/.*peak tolva memory per worker: //p' "$work/cl.log" | grep -o '[0-9]* kB' | tr '\n' ' ')
cl_same=$(sed 1,3d "$work/cl/report.xml" | cmp -s - "$work/a" && echo yes || echo NO)

printf '%-26s %9s %9s %8s  %s\n' "3000 small files" "seconds" "files/s" "x -j 1" "peak RSS per worker (kB)"
printf '%-26s %9s %9s %8s  %s\n' "tolva -j 1" "$t1" "$(rate "$t1")" "1.00" "$m1"
printf '%-26s %9s %9s %8s  %s\n' "tolva -j $cores" "$tn" "$(rate "$tn")" "$(echo "scale=2; $t1 / $tn" | bc)" "$mn"
printf '%-26s %9.2f %9s %8s  %s\n' "tolva-cluster, 2 workers" "$tc" "$(rate "$tc")" "$(echo "scale=2; $t1 / $tc" | bc)" "$peaks"
echo "reports identical to -j 1 (but the run date): -j $cores $same, cluster $cl_same"
echo "peak RSS, -j 1: 300 files $m300 kB, 3000 files $m1 kB (streamed report: ratio $(echo "scale=2; $m1 / $m300" | bc), about 1.0)"

shared="$here/../../shared"
for set in corpus robust/pdfjs; do
  [ -d "$shared/$set" ] || continue
  # Each set five times over, so that each run lasts seconds rather than a fraction of one.
  d="$shared/$set"
  set -- $(measure "$tolva" -x --subfolders "$d" "$d" "$d" "$d" "$d"); r1=$1
  set -- $(measure "$tolva" -x --subfolders -j "$cores" "$d" "$d" "$d" "$d" "$d"); rn=$1
  # The machine's own ceiling: as many independent -j 1 runs at once as -j N has workers.
  # On shared virtual cores this is often well below N, and -j N cannot beat it.
  s=$(date +%s.%N)
  runs=""
  for i in $(seq "$cores"); do "$tolva" -x --subfolders "$d" "$d" "$d" "$d" "$d" >/dev/null 2>&1 & runs="$runs $!"; done
  for p in $runs; do wait "$p"; done
  rp=$(echo "$(date +%s.%N) - $s" | bc)
  count=$(($(find "$d" -name '*.pdf' | wc -l) * 5))
  ceiling=$(echo "scale=2; $cores * $r1 / $rp" | bc)
  printf '%-26s -j 1 %6s s, -j %s %6s s: %s files/s against %s, x %s; %s independent runs at once: x %s (-j %s reaches %s%% of it)\n' \
    "$set ($count files)" "$r1" "$cores" "$rn" "$(echo "scale=1; $count / $rn" | bc)" "$(echo "scale=1; $count / $r1" | bc)" \
    "$(echo "scale=2; $r1 / $rn" | bc)" "$cores" "$ceiling" "$cores" "$(echo "100 * $r1 / $rn / $ceiling" | bc)"
done
