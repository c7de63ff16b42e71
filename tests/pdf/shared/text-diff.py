#!/usr/bin/env python3
"""Word-level agreement of page text: pagedump --text against pdftotext -raw (poppler-utils).

    text-diff.py PAGEDUMP FOLDER... [--limit N] [--show]

For each file the words of both outputs are compared as multisets (layout is ignored);
prints "words: W common: C files: F skipped: S agreement: X%" where agreement is
2C / (ours + theirs)."""
import os
import subprocess
import sys
from collections import Counter


def words(text):
    return Counter(w for w in text.split() if w)


def run(args):
    try:
        return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    except subprocess.TimeoutExpired:
        return None


def main():
    pagedump, rest = sys.argv[1], sys.argv[2:]
    show = "--show" in rest
    limit = int(rest[rest.index("--limit") + 1]) if "--limit" in rest else None
    folders = [a for a in rest if os.path.isdir(a)]
    files = sorted(os.path.join(r, f) for d in folders for r, _, fs in os.walk(d) for f in fs if f.lower().endswith(".pdf"))
    if limit:
        files = files[:limit]
    ours_total = theirs_total = common_total = skipped = 0
    for f in files:
        a = run(["pdftotext", "-raw", "-enc", "UTF-8", f, "-"])
        b = run([pagedump, "--text", f])
        if not a or not b or a.returncode != 0 or b.returncode != 0:
            skipped += 1
            continue
        theirs = words(a.stdout.decode("utf-8", "replace"))
        ours = words(b.stdout.decode("utf-8", "replace"))
        common = sum((theirs & ours).values())
        n_theirs, n_ours = sum(theirs.values()), sum(ours.values())
        ours_total += n_ours
        theirs_total += n_theirs
        common_total += common
        if show and common != max(n_theirs, n_ours):
            missing = list((theirs - ours).elements())[:8]
            extra = list((ours - theirs).elements())[:8]
            print(f"{f}: pdftotext {n_theirs} ours {n_ours} common {common} missing {missing} extra {extra}")
    total = ours_total + theirs_total
    pct = 100.0 * 2 * common_total / total if total else 100.0
    print(f"words: {theirs_total} ours: {ours_total} common: {common_total} files: {len(files)} skipped: {skipped} agreement: {pct:.2f}%")


main()
