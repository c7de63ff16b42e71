#!/bin/sh
# Conversion of the files whose fonts are not all embedded (pdffonts says "no"), from the
# pdf.js set of the shared folder: `tolva -c -l 2B` against `qpdf in out` on the same files,
# one process per file for both. Prints both totals and the ratio, then the size of the font
# programs conversion embedded (decoded, in the descriptors that had none) against the size
# of the whole system font files fontconfig matches to those fonts' families.
#
#   sh bench/fontconvert-vs-qpdf.sh [BUILD] [SHARED]
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
shared=${2:-$here/../../shared}
tolva=$(cd "$build" && pwd)/apps/tolva/tolva
src="$shared/robust/pdfjs"
if [ ! -d "$src" ]; then
  echo "fontconvert-vs-qpdf: no $src, skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in "$src"/*.pdf; do
  timeout 20 pdffonts "$f" 2>/dev/null | awk 'NR > 2 && $(NF-4) == "no" { found = 1 } END { exit !found }' && echo "$f"
done > "$work/files" || true
count=$(wc -l < "$work/files")
mkdir -p "$work/out"

# Seconds for one command over every file (the file's copy goes to $work/out).
run() {
  failed=0
  start=$(date +%s.%N)
  while IFS= read -r f; do
    "$@" "$f" >/dev/null 2>&1 || failed=$((failed + 1))
  done < "$work/files"
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc) $failed"
}
convert() { (cd "$work/out" && timeout 60 "$tolva" -c -l 2B --noxml -o "$work/out" "$1"); }
copy() { timeout 60 qpdf "$1" "$work/qpdf.pdf"; }

run cat > /dev/null
set -- $(run convert); tt=$1; ft=$2
set -- $(run copy); tq=$1; fq=$2
echo "files with fonts not embedded: $count"
echo "tolva -c -l 2B: ${tt}s ($ft exited non-zero)"
echo "qpdf in out:    ${tq}s ($fq failed; qpdf exits non-zero on warnings too)"
echo "tolva/qpdf time ratio: $(echo "scale=2; $tt / $tq" | bc)"

python3 - "$work/files" "$work/out" <<'PY'
import json, os, re, subprocess, sys

def descriptors(pdf):
    """Font descriptor object numbers with the program stream they hold (or None) and their FontName."""
    r = subprocess.run(["qpdf", "--json", "--json-stream-data=none", pdf], capture_output=True, timeout=120)
    try:
        objects = json.loads(r.stdout)["qpdf"][1]
    except (ValueError, KeyError, IndexError):
        return {}
    out = {}
    for key, obj in objects.items():
        d = obj.get("value")
        if not isinstance(d, dict) or d.get("/Type") != "/FontDescriptor":
            continue
        prog = next((d[k] for k in ("/FontFile", "/FontFile2", "/FontFile3") if k in d), None)
        num = int(key.split()[0].split(":")[1])
        out[num] = (int(prog.split()[0]) if isinstance(prog, str) else None, d.get("/FontName", "/")[1:])
    return out

files = [l.strip() for l in open(sys.argv[1]) if l.strip()]
embedded = whole = fonts = 0
for src in files:
    base = os.path.splitext(os.path.basename(src))[0]
    copy = os.path.join(sys.argv[2], base + "_pdfa.pdf")
    if not os.path.exists(copy):
        continue
    before = descriptors(src)
    for num, (prog, name) in descriptors(copy).items():
        if prog is None or before.get(num, (None, ""))[0] is not None:
            continue
        size = len(subprocess.run(["qpdf", f"--show-object={prog}", "--filtered-stream-data", copy],
                                  capture_output=True, timeout=60).stdout)
        family = re.sub(r"^[A-Z]{6}\+", "", name)
        match = subprocess.run(["fc-match", "-f", "%{file}", family], capture_output=True, text=True).stdout
        if size == 0 or not os.path.isfile(match):
            continue
        fonts += 1
        embedded += size
        whole += os.path.getsize(match)
if fonts:
    print(f"fonts embedded by conversion: {fonts}; their programs {embedded} bytes, "
          f"the whole fonts fontconfig matches {whole} bytes ({embedded / whole:.1%})")
else:
    print("fonts embedded by conversion: none found")
PY
