#!/usr/bin/python3
"""Damages real files one object at a time and checks that tolva still gives a verdict
wherever qpdf opens the damaged file, and writes a copy whenever it converts.

    damage-probe.py TOLVA [--level 2B] [--kinds free,type,key,stream] [--max 60] [--keep DIR] FILE...

Each FILE is first written again by qpdf (no object streams, a classic table), so that
objects can be changed in place with their offsets kept right. The kinds of damage:
  free    one table entry marked free (n becomes f);
  type    one object's body replaced, at the same length, by null, [], 0, <<>> or (x);
  key     one single-line dictionary entry removed or given another value (QDF form,
          offsets mended by fix-qdf);
  stream  one stream's data replaced by garbage, zeros, half zeros or flipped bits.
Prints per file the variants tried and, for each that fails, the damage and tolva's message;
with --keep the failing variants are copied there. Exit status 1 when any variant fails.
Needs qpdf and fix-qdf (Debian package qpdf).
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

REPLACEMENTS = [b"null", b"[]", b"0", b"<<>>", b"(x)"]
KEY_VALUES = [None, b"null", b"/Zz", b"-1", b"[]", b"9999 0 R", b"<<>>"]


def run_tolva(args, path, out):
    """(verdict given, copy written, message of a failure) for one conversion."""
    cmd = [args.tolva, "-x", "-c", "-l", args.level, "-o", out, path]
    try:
        r = subprocess.run(cmd, capture_output=True, text=True, errors="replace", timeout=120)
    except subprocess.TimeoutExpired:
        return False, False, "timeout"
    if r.returncode < 0 or r.returncode >= 128:
        return False, False, f"signal {r.returncode}"
    if "VLD-" in r.stdout and "CNV-" in r.stdout:
        return True, True, ""
    r = subprocess.run(cmd[:2] + ["--verb", "2"] + cmd[2:], capture_output=True, text=True, errors="replace")
    message = re.findall(r"Message: (.*)", r.stdout)
    return "VLD-" in r.stdout, "CNV-" in r.stdout, message[0] if message else "no verdict"


def qpdf_opens(path):
    return subprocess.run(["qpdf", "--check", path], capture_output=True).returncode in (0, 3)


def free_variants(data, limit):
    x = data.rindex(b"\nxref\n") + 6
    start, count = map(int, data[x:data.index(b"\n", x)].split())
    base = data.index(b"\n", x) + 1
    for k in range(1, min(count - start, limit + 1)):
        at = base + 20 * k + 17
        if data[at:at + 1] == b"n":
            yield f"entry {start + k} free", data[:at] + b"f" + data[at + 1:]


def type_variants(data, limit):
    for m in list(re.finditer(rb"(?m)^(\d+) 0 obj\n", data))[:limit]:
        end = data.index(b"endobj", m.end())
        for rep in REPLACEMENTS:
            if end - m.end() > len(rep):
                body = rep + b" " * (end - m.end() - len(rep))
                yield f"object {int(m.group(1))} as {rep.decode()}", data[:m.end()] + body + data[end:]


def key_variants(qdf, limit, work):
    lines = qdf.split(b"\n")
    entries = [i for i, line in enumerate(lines)
               if re.match(rb"^ +/[A-Za-z0-9]+ [^<\[]", line) and not line.rstrip().endswith((b"<<", b"["))]
    random.Random(len(lines)).shuffle(entries)
    for i in entries[:limit]:
        key = re.match(rb"^( +/[A-Za-z0-9]+) ", lines[i]).group(1)
        for value in KEY_VALUES:
            changed = lines[:i] + ([] if value is None else [key + b" " + value]) + lines[i + 1:]
            qdf_path = os.path.join(work, "k.qdf")
            with open(qdf_path, "wb") as f:
                f.write(b"\n".join(changed))
            fixed = subprocess.run(["fix-qdf", qdf_path], capture_output=True).stdout
            what = "removed" if value is None else value.decode()
            yield f"{lines[i].strip()[:50].decode('latin-1')} -> {what}", fixed


def stream_variants(data, limit):
    rng = random.Random(len(data))
    spans = [(m.end(), data.index(b"endstream", m.end())) for m in re.finditer(rb"stream\r?\n", data)
             if data[m.start() - 3:m.start()] != b"end"]
    for s, e in spans[:limit]:
        n = e - s
        if n < 4:
            continue
        damaged = {"garbage": bytes(rng.randrange(256) for _ in range(n)), "zeros": bytes(n),
                   "half zeros": data[s:s + n // 2] + bytes(n - n // 2)}
        flipped = bytearray(data[s:e])
        for _ in range(max(1, n // 50)):
            flipped[rng.randrange(n)] ^= 0xFF
        damaged["flipped bits"] = bytes(flipped)
        for kind, body in damaged.items():
            yield f"stream at {s} {kind}", data[:s] + body + data[e:]


def probe(args, src, work):
    plain = os.path.join(work, "plain.pdf")
    qdf = os.path.join(work, "q.qdf")
    if subprocess.run(["qpdf", "--object-streams=disable", src, plain], capture_output=True).returncode not in (0, 3):
        return 0, []
    data = open(plain, "rb").read()
    variants = []
    if "free" in args.kinds:
        variants.append(free_variants(data, args.max))
    if "type" in args.kinds:
        variants.append(type_variants(data, args.max))
    if "stream" in args.kinds:
        variants.append(stream_variants(data, args.max))
    if "key" in args.kinds and subprocess.run(["qpdf", "--qdf", "--object-streams=disable", src, qdf],
                                              capture_output=True).returncode in (0, 3):
        variants.append(key_variants(open(qdf, "rb").read(), args.max, work))
    tried, failures = 0, []
    path = os.path.join(work, "damaged.pdf")
    for generator in variants:
        for what, damaged in generator:
            with open(path, "wb") as f:
                f.write(damaged)
            tried += 1
            verdict, copy, message = run_tolva(args, path, os.path.join(work, "out"))
            if (verdict and copy) or (not verdict and not qpdf_opens(path) and not message.startswith(("signal", "timeout"))):
                continue
            failures.append((what, message))
            if args.keep:
                os.makedirs(args.keep, exist_ok=True)
                shutil.copy(path, os.path.join(args.keep, f"{os.path.basename(src)[:-4]}-{len(failures)}.pdf"))
    return tried, failures


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("tolva")
    ap.add_argument("files", nargs="+")
    ap.add_argument("--level", default="2B")
    ap.add_argument("--kinds", default="free,type,key,stream")
    ap.add_argument("--max", type=int, default=60, help="objects, entries or streams per file and kind")
    ap.add_argument("--keep", help="folder for the variants that fail")
    args = ap.parse_args()
    args.tolva = os.path.abspath(args.tolva)
    total, failed = 0, 0
    for src in args.files:
        with tempfile.TemporaryDirectory() as work:
            tried, failures = probe(args, src, work)
        total += tried
        failed += len(failures)
        print(f"{os.path.basename(src)}: {tried} variants, {len(failures)} failing")
        for what, message in failures:
            print(f"  {what}: {message}")
    print(f"damage-probe: {total} variants, {failed} failing")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
