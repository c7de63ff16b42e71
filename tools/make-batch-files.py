#!/usr/bin/python3
"""Writes COUNT small one-page PDF files into FOLDER for batch tests and benchmarks: every
third lacks its trailer ID, so a batch has passing and failing files; with --subfolder
every fourth goes into FOLDER/sub.

    make-batch-files.py FOLDER COUNT [--subfolder]
"""

import os
import sys


def pdf(i):
    objs = ["<</Type/Catalog/Pages 2 0 R>>",
            "<</Type/Pages/Kids[3 0 R]/Count 1>>",
            "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Contents 4 0 R>>"]
    content = f"0 0 1 rg 10 10 {100 + i % 50} 100 re f".encode()
    out = bytearray(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    offs = []
    for n, body in enumerate(objs, 1):
        offs.append(len(out))
        out += f"{n} 0 obj\n{body}\nendobj\n".encode()
    offs.append(len(out))
    out += b"4 0 obj\n<</Length %d>>\nstream\n" % len(content) + content + b"\nendstream\nendobj\n"
    x = len(out)
    out += b"xref\n0 5\n0000000000 65535 f\r\n" + b"".join(b"%010d 00000 n\r\n" % o for o in offs)
    ident = b"" if i % 3 == 0 else b"/ID[<%032x><%032x>]" % (i, i)
    out += b"trailer\n<</Size 5/Root 1 0 R%s>>\nstartxref\n%d\n%%%%EOF\n" % (ident, x)
    return bytes(out)


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    subfolder = "--subfolder" in sys.argv[3:]
    os.makedirs(os.path.join(folder, "sub") if subfolder else folder, exist_ok=True)
    for i in range(count):
        sub = "sub" if subfolder and i % 4 == 0 else ""
        with open(os.path.join(folder, sub, f"g{i:05d}.pdf"), "wb") as f:
            f.write(pdf(i))


if __name__ == "__main__":
    main()
