#!/usr/bin/env python3
"""Lists the streams of a PDF with qpdf, for the filter tests that compare against qpdf.

usage: extract_streams.py <outdir> <pdf>...

Each PDF (two at a time) gets a folder <outdir>/<k>, k its place in the list, holding its
name in source.txt and, per stream with a Filter entry, <n>.raw (the stream's data before its
filters, decrypted) and, when qpdf could decode it, <n>.qpdf (qpdf's decoded data), and one
line per stream in <outdir>/index.txt:

    <n> TAB <stages> TAB <image entries>

where <stages> is Name[,key=value...] per filter, separated by '|' (values: integers,
true/false, or globals=<file> for a JBIG2Globals stream written as <m>.globals), and
<image entries> is width=..,height=..,bpc=.. (those present).
"""
import base64
import concurrent.futures
import json
import os
import subprocess
import sys


def qpdf_json(pdf, level):
    out = subprocess.run(
        ["qpdf", "--json", "--json-stream-data=inline", "--decode-level=" + level, pdf],
        capture_output=True, timeout=120).stdout
    try:
        return json.loads(out)["qpdf"][1]
    except (ValueError, KeyError, IndexError, TypeError):
        return {}


def as_list(v):
    return v if isinstance(v, list) else [v]


def extract(pdf, outdir):
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "source.txt"), "w") as f:
        f.write(pdf)
    raw = qpdf_json(pdf, "none")
    decoded = qpdf_json(pdf, "generalized")
    lines = []
    for key, obj in raw.items():
        if not isinstance(obj, dict) or "stream" not in obj:
            continue
        d = obj["stream"].get("dict", {})
        filters = as_list(d.get("/Filter"))
        if not filters or filters == [None] or not all(isinstance(f, str) for f in filters):
            continue
        parms = d.get("/DecodeParms")
        parms = as_list(parms) if parms is not None else [None] * len(filters)
        if len(parms) != len(filters):
            continue
        n = key.split(":")[1].split()[0]
        data = base64.b64decode(obj["stream"].get("data", ""))
        with open(os.path.join(outdir, n + ".raw"), "wb") as f:
            f.write(data)
        dec = decoded.get(key, {}).get("stream", {})
        dec_data = base64.b64decode(dec.get("data", "")) if "data" in dec else None
        # qpdf leaves what it cannot decode as it is.
        if dec_data is not None and (dec_data != data or dec.get("dict", {}).get("/Filter") is None):
            with open(os.path.join(outdir, n + ".qpdf"), "wb") as f:
                f.write(dec_data)
        stages = []
        for name, p in zip(filters, parms):
            items = [name.lstrip("/")]
            for k, v in (p.items() if isinstance(p, dict) else []):
                if isinstance(v, bool):
                    items.append("%s=%s" % (k.lstrip("/"), "true" if v else "false"))
                elif isinstance(v, int):
                    items.append("%s=%d" % (k.lstrip("/"), v))
                elif k == "/JBIG2Globals" and isinstance(v, str) and v.endswith(" R"):
                    g = v.split()[0]
                    gs = decoded.get("obj:" + v, {}).get("stream", {})
                    if "data" in gs:
                        with open(os.path.join(outdir, g + ".globals"), "wb") as f:
                            f.write(base64.b64decode(gs["data"]))
                        items.append("globals=" + g + ".globals")
            stages.append(",".join(items))
        image = []
        for k, name in (("/Width", "width"), ("/Height", "height"), ("/BitsPerComponent", "bpc")):
            if isinstance(d.get(k), int):
                image.append("%s=%d" % (name, d[k]))
        lines.append("%s\t%s\t%s\n" % (n, "|".join(stages), ",".join(image)))
    with open(os.path.join(outdir, "index.txt"), "w") as f:
        f.writelines(lines)


def main():
    outdir, pdfs = sys.argv[1], sys.argv[2:]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        jobs = [pool.submit(extract, pdf, os.path.join(outdir, str(k))) for k, pdf in enumerate(pdfs)]
        for j in jobs:
            j.result()


if __name__ == "__main__":
    main()
