#!/usr/bin/env python3
"""Operator counts per page: pagedump --counts against qpdf (page contents from qpdf --json,
stream data decoded by qpdf --filtered-stream-data) tokenized here, independently of the
C++ reader.

    content-diff.py PAGEDUMP FOLDER... [--limit N] [--show]

Prints "pages: P agree: A files: F skipped: S pagecount-differs: C" (skipped: files one of
the two cannot read; C of them because the page counts differ) and, with --show, every
page that differs."""
import json
import os
import subprocess
import sys

WHITE = b"\x00\t\n\x0c\r "
DELIM = b"()<>[]{}/%"


def count_ops(d):
    """Operators in content bytes; an inline image (BI ... ID ... EI) counts as one."""
    i, n, ops = 0, len(d), 0
    while i < n:
        c = d[i]
        if c in WHITE:
            i += 1
        elif c == 0x25:  # %
            while i < n and d[i] not in b"\r\n":
                i += 1
        elif c == 0x28:  # (
            depth, i = 1, i + 1
            while i < n and depth:
                if d[i] == 0x5C:
                    i += 2
                    continue
                if d[i] == 0x28:
                    depth += 1
                elif d[i] == 0x29:
                    depth -= 1
                i += 1
        elif c == 0x3C and i + 1 < n and d[i + 1] == 0x3C:
            i += 2
        elif c == 0x3C:
            j = d.find(b">", i)
            i = n if j < 0 else j + 1
        elif c in b">[]{})":
            i += 1
        elif c == 0x2F:  # /
            i += 1
            while i < n and d[i] not in WHITE and d[i] not in DELIM:
                i += 1
        else:
            j = i
            while j < n and d[j] not in WHITE and d[j] not in DELIM:
                j += 1
            tok = d[i:j]
            i = j
            if tok[:1] in b"+-.0123456789" or tok in (b"true", b"false", b"null"):
                continue
            ops += 1
            if tok == b"BI":
                k = d.find(b"ID", i)
                if k < 0:
                    return ops
                k += 3
                while True:
                    e = d.find(b"EI", k)
                    if e < 0:
                        return ops
                    if d[e - 1] in WHITE and (e + 2 >= n or d[e + 2] in WHITE):
                        i = e + 2
                        break
                    k = e + 2
    return ops


def run(args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)


def page_streams(path):
    r = run(["qpdf", "--json", "--json-key=pages", path])
    if r.returncode not in (0, 3):
        return None
    pages = json.loads(r.stdout)["pages"]
    return [[int(ref.split()[0]) for ref in p.get("contents", [])] for p in pages]


def qpdf_counts(path):
    pages = page_streams(path)
    if pages is None:
        return None
    cache, out = {}, []
    for streams in pages:
        data = b""
        for num in streams:
            if num not in cache:
                r = run(["qpdf", f"--show-object={num}", "--filtered-stream-data", path])
                cache[num] = r.stdout if r.returncode in (0, 3) else b""
            data += cache[num] + b"\n"
        out.append(count_ops(data))
    return out


def ours(pagedump, path):
    r = run([pagedump, "--counts", path])
    if r.returncode != 0:
        return None
    return [int(line.split(b":")[1]) for line in r.stdout.splitlines() if line.startswith(b"page ")]


def main():
    pagedump, rest = sys.argv[1], sys.argv[2:]
    show = "--show" in rest
    limit = None
    if "--limit" in rest:
        limit = int(rest[rest.index("--limit") + 1])
    folders = [a for a in rest if os.path.isdir(a)]
    files = sorted(os.path.join(r, f) for d in folders for r, _, fs in os.walk(d) for f in fs if f.lower().endswith(".pdf"))
    if limit:
        files = files[:limit]
    pages = agree = skipped = count_differs = 0
    for f in files:
        theirs = qpdf_counts(f)
        mine = ours(pagedump, f)
        if theirs is None or mine is None or len(theirs) != len(mine):
            skipped += 1
            if theirs is not None and mine is not None:
                count_differs += 1
            if show:
                print("skipped", f, None if theirs is None else len(theirs), None if mine is None else len(mine))
            continue
        for i, (a, b) in enumerate(zip(theirs, mine)):
            pages += 1
            if a == b:
                agree += 1
            elif show:
                print(f"differs {f} page {i + 1}: qpdf data {a}, ours {b}")
    print(f"pages: {pages} agree: {agree} files: {len(files)} skipped: {skipped} pagecount-differs: {count_differs}")


main()
