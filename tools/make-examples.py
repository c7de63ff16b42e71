#!/usr/bin/env python3
"""Writes the sample PDFs of examples/: one that conforms to PDF/A-2b and a few everyday
files that do not. Run from the top of the checkout: tools/make-examples.py examples"""
import struct, sys, zlib, os


def s15(v):
    return struct.pack(">i", int(round(v * 65536)))


def srgb_profile():
    """A small ICC v2 display profile with sRGB primaries (D50-adapted) and gamma 2.2."""
    def xyz(x, y, z):
        return b"XYZ \0\0\0\0" + s15(x) + s15(y) + s15(z)
    desc_text = b"Tolva sRGB\0"
    desc = (b"desc\0\0\0\0" + struct.pack(">I", len(desc_text)) + desc_text +
            b"\0" * 8 + b"\0" * 3 + b"\0" * 67)
    cprt = b"text\0\0\0\0No copyright, use freely\0"
    curve = b"curv\0\0\0\0" + struct.pack(">IH", 1, 0x0233) + b"\0\0"
    tags = [(b"desc", desc), (b"cprt", cprt), (b"wtpt", xyz(0.9642, 1.0, 0.8249)),
            (b"rXYZ", xyz(0.4361, 0.2225, 0.0139)), (b"gXYZ", xyz(0.3851, 0.7169, 0.0971)),
            (b"bXYZ", xyz(0.1431, 0.0606, 0.7141)), (b"rTRC", curve), (b"gTRC", curve),
            (b"bTRC", curve)]
    offset = 128 + 4 + 12 * len(tags)
    table, data = b"", b""
    for sig, body in tags:
        while (offset + len(data)) % 4:
            data += b"\0"
        table += sig + struct.pack(">II", offset + len(data), len(body))
        data += body
    body = struct.pack(">I", len(tags)) + table + data
    size = 128 + len(body)
    header = (struct.pack(">I", size) + b"\0\0\0\0" + struct.pack(">I", 0x02100000) +
              b"mntrRGB XYZ " + struct.pack(">6H", 2026, 12, 6, 0, 0, 0) + b"acsp" +
              b"\0" * 4 + b"\0" * 4 + b"\0" * 8 + b"\0" * 8 + struct.pack(">I", 0) +
              s15(0.9642) + s15(1.0) + s15(0.8249) + b"\0" * 4 + b"\0" * 44)
    assert len(header) == 128
    return header + body


def build(objects, trailer, version=b"1.7", binary=True):
    """objects: list of bytes bodies, numbered from 1."""
    out = b"%PDF-" + version + b"\n"
    if binary:
        out += b"%\xe2\xe3\xcf\xd3\n"
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f\r\n" % (len(objects) + 1)
    for off in offsets:
        out += b"%010d 00000 n\r\n" % off
    out += b"trailer\n<</Size %d " % (len(objects) + 1) + trailer + b">>\nstartxref\n%d\n%%%%EOF\n" % xref
    return out


def stream(dict_entries, data, compress=True):
    if compress:
        data = zlib.compress(data, 9)
        dict_entries += b"/Filter/FlateDecode"
    return b"<<" + dict_entries + b"/Length %d>>\nstream\n" % len(data) + data + b"\nendstream"


DOC_ID = b"[<5A1E7C0DDE3B4C7F9A2B6C1D0E9F8A7B><5A1E7C0DDE3B4C7F9A2B6C1D0E9F8A7B>]"

ARTWORK = (b"0.93 0.95 0.98 rg 0 0 595 842 re f\n"
           b"0.12 0.30 0.55 rg 60 620 475 160 re f\n"
           b"0.85 0.45 0.10 rg 60 430 220 160 re f\n"
           b"0.20 0.60 0.35 rg 315 430 220 160 re f\n"
           b"0.2 0.2 0.2 RG 4 w 60 380 m 535 380 l S\n")


def pdfa_2b():
    xmp = ("<?xpacket begin=\"\ufeff\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
           "   <pdfaid:part>2</pdfaid:part>\n"
           "   <pdfaid:conformance>B</pdfaid:conformance>\n"
           "  </rdf:Description>\n"
           "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
           "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">Tolva sample page</rdf:li></rdf:Alt></dc:title>\n"
           "  </rdf:Description>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           + " " * 400 + "\n<?xpacket end=\"w\"?>").encode("utf-8")
    objs = [
        b"<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/OutputIntents[6 0 R]>>",
        b"<</Type/Pages/Kids[3 0 R]/Count 1>>",
        b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<<>>/Contents 4 0 R>>",
        stream(b"", ARTWORK),
        stream(b"/Type/Metadata/Subtype/XML", xmp, compress=False),
        b"<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier(sRGB)/Info(sRGB display)"
        b"/DestOutputProfile 7 0 R>>",
        stream(b"/N 3", srgb_profile()),
    ]
    return build(objs, b"/Root 1 0 R/ID" + DOC_ID)


def plain_letter():
    text = (b"BT /F1 14 Tf 72 770 Td (Dear reader,) Tj 0 -24 Td "
            b"(this letter uses a font that is not embedded and has no metadata.) Tj ET\n")
    objs = [
        b"<</Type/Catalog/Pages 2 0 R>>",
        b"<</Type/Pages/Kids[3 0 R]/Count 1>>",
        b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<</Font<</F1 5 0 R>>>>/Contents 4 0 R>>",
        stream(b"", text),
        b"<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>",
        b"<</Title(A plain letter)/Producer(tools/make-examples.py)>>",
    ]
    return build(objs, b"/Root 1 0 R/Info 6 0 R", version=b"1.4", binary=False)


def damaged_xref():
    good = pdfa_2b()
    # Shift every object by inserting a comment after the header: all xref offsets go wrong.
    head_end = good.index(b"\n", good.index(b"\n") + 1) + 1
    return good[:head_end] + b"% inserted after the fact, so every offset is off\n" + good[head_end:]


def transparent():
    objs = [
        b"<</Type/Catalog/Pages 2 0 R>>",
        b"<</Type/Pages/Kids[3 0 R]/Count 1>>",
        b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 300]/Resources<</ExtGState<</G 5 0 R>>>>/Contents 4 0 R>>",
        stream(b"", b"/G gs 1 0 0 rg 50 50 150 150 re f 0 0 1 rg 100 100 150 150 re f\n"),
        b"<</Type/ExtGState/ca 0.5/CA 0.5/BM/Multiply>>",
    ]
    return build(objs, b"/Root 1 0 R/ID" + DOC_ID, version=b"1.4")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "examples"
    os.makedirs(out, exist_ok=True)
    files = {"pdfa-2b-artwork.pdf": pdfa_2b(), "plain-letter.pdf": plain_letter(),
             "damaged-xref.pdf": damaged_xref(), "transparency.pdf": transparent()}
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
