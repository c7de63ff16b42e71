// The sRGB IEC61966-2.1 display profile that conversion embeds in its output intent: the
// version 2.1 profile of 3,144 bytes with 17 tags that PDF/A tools have long shipped. It is
// built here field by field rather than by a colour library, whose own sRGB profile differs
// (parametric curves, other tags) and which some viewers mishandle as an output intent.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "common/Exception.h"
#include "pdf/compliance/OutputIntents.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

namespace {

// Data zlib-compressed with a 4 KB window (the stored profile's form) and fixed parameters,
// so that the same bytes come out on every run.
Common::Bytes DeflateBytes(const Common::Bytes& plain)
{
    z_stream zs{};
    // Fixed parameters: the stored bytes stay the same on every run.
    QVX_CHECK(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 12, 8, Z_DEFAULT_STRATEGY) == Z_OK,
              "deflateInit2 failed");
    Common::Bytes out(deflateBound(&zs, plain.size()));
    zs.next_in = const_cast<Bytef*>(plain.data());
    zs.avail_in = static_cast<uInt>(plain.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    QVX_CHECK(rc == Z_STREAM_END, "deflate did not finish");
    return out;
}

constexpr std::uint32_t kProfileSize = 3144;
constexpr int kTagCount = 17;

class ProfileBytes {
public:
    void U16(std::uint16_t v)
    {
        m_b.push_back(static_cast<std::uint8_t>(v >> 8));
        m_b.push_back(static_cast<std::uint8_t>(v));
    }
    void U32(std::uint32_t v)
    {
        U16(static_cast<std::uint16_t>(v >> 16));
        U16(static_cast<std::uint16_t>(v));
    }
    void Text(std::string_view s) { m_b.insert(m_b.end(), s.begin(), s.end()); }
    void Zeros(std::size_t n) { m_b.insert(m_b.end(), n, 0); }
    void Align() { Zeros((4 - m_b.size() % 4) % 4); }
    // An XYZNumber triple in s15Fixed16 as raw words.
    void XYZ(std::uint32_t x, std::uint32_t y, std::uint32_t z)
    {
        Text("XYZ ");
        Zeros(4);
        for (std::uint32_t v : {x, y, z}) U32(v);
    }
    // textDescriptionType: ASCII part, empty Unicode and ScriptCode parts.
    void Desc(std::string_view s)
    {
        Text("desc");
        Zeros(4);
        U32(static_cast<std::uint32_t>(s.size() + 1));
        Text(s);
        Zeros(1 + 4 + 4 + 2 + 1 + 67);
    }
    std::size_t Size() const { return m_b.size(); }
    Common::Bytes Take() { return std::move(m_b); }
    // Fills entry i of the tag table that starts at `table`.
    void PutTagEntry(std::size_t table, int i, std::string_view sig, std::size_t offset, std::size_t size)
    {
        std::size_t at = table + 12 * static_cast<std::size_t>(i);
        std::copy(sig.begin(), sig.end(), m_b.begin() + static_cast<std::ptrdiff_t>(at));
        for (std::uint32_t v : {static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size)}) {
            at += 4;
            for (int k = 0; k < 4; ++k) m_b[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
        }
    }

private:
    Common::Bytes m_b;
};

// The sRGB transfer curve sampled at 1024 points.
std::uint16_t TransferSample(int i)
{
    double x = i / 1023.0;
    double y = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    return static_cast<std::uint16_t>(std::lround(y * 65535.0));
}

}  // namespace

Common::Bytes SRGBProfileBytes()
{
    ProfileBytes p;
    // Header.
    p.U32(kProfileSize);
    p.Text("Lino");
    p.U32(0x02100000);  // version 2.1.0
    p.Text("mntrRGB XYZ ");
    for (std::uint16_t v : {1998, 2, 9, 6, 49, 0}) p.U16(v);
    p.Text("acspMSFT");
    p.U32(0);  // flags
    p.Text("IEC sRGB");
    p.Zeros(8 + 4);  // attributes, rendering intent
    for (std::uint32_t v : {0xF6D6u, 0x10000u, 0xD32Du}) p.U32(v);  // D50
    p.Text("HP  ");
    p.Zeros(44);

    // Tag table, filled in as the tags are written.
    p.U32(kTagCount);
    const std::size_t table = p.Size();
    p.Zeros(12 * kTagCount);
    int index = 0;
    std::size_t offset = 0, size = 0;
    auto tag = [&](std::string_view sig, auto&& write) {
        p.Align();
        offset = p.Size();
        write();
        size = p.Size() - offset;
        p.PutTagEntry(table, index++, sig, offset, size);
    };
    tag("cprt", [&] {
        p.Text("text");
        p.Zeros(4);
        p.Text("Copyright (c) 1998 Hewlett-Packard Company");
        p.Zeros(1);
    });
    tag("desc", [&] { p.Desc("sRGB IEC61966-2.1"); });
    tag("wtpt", [&] { p.XYZ(0xF351, 0x10000, 0x116CC); });
    tag("bkpt", [&] { p.XYZ(0, 0, 0); });
    tag("rXYZ", [&] { p.XYZ(0x6FA2, 0x38F5, 0x0390); });
    tag("gXYZ", [&] { p.XYZ(0x6299, 0xB785, 0x18DA); });
    tag("bXYZ", [&] { p.XYZ(0x24A0, 0x0F84, 0xB6CF); });
    tag("dmnd", [&] { p.Desc("IEC http://www.iec.ch"); });
    tag("dmdd", [&] { p.Desc("IEC 61966-2.1 Default RGB colour space - sRGB"); });
    tag("vued", [&] { p.Desc("Reference Viewing Condition in IEC61966-2.1"); });
    tag("view", [&] {
        p.Text("view");
        p.Zeros(4);
        for (std::uint32_t v : {0x13A4FEu, 0x145F2Eu, 0x10CF14u, 0x3EDCCu, 0x4130Bu, 0x35C9Eu, 1u}) p.U32(v);
    });
    tag("lumi", [&] { p.XYZ(0x4C0956, 0x500000, 0x571FE7); });
    tag("meas", [&] {
        p.Text("meas");
        p.Zeros(4);
        p.U32(1);  // CIE 1931 observer
        p.Zeros(12 + 4);
        p.U32(0x28F);  // flare 1 %
        p.U32(2);      // D65
    });
    tag("tech", [&] {
        p.Text("sig ");
        p.Zeros(4);
        p.Text("CRT ");
    });
    tag("rTRC", [&] {
        p.Text("curv");
        p.Zeros(4);
        p.U32(1024);
        for (int i = 0; i < 1024; ++i) p.U16(TransferSample(i));
    });
    // The three channels share one curve.
    p.PutTagEntry(table, index++, "gTRC", offset, size);
    p.PutTagEntry(table, index++, "bTRC", offset, size);
    Common::Bytes out = p.Take();
    QVX_CHECK(out.size() == kProfileSize && index == kTagCount, "The built sRGB profile is not 3,144 bytes with 17 tags");
    return out;
}


SDF::Obj* NewSRGBProfileStream(SDF::SDFDoc& doc)
{
    auto dict = SDF::Dict::Create();
    dict->PutName("Filter", "FlateDecode");
    dict->PutNumber("N", 3);
    return doc.CreateIndirectStream(SRGBProfileStored(), std::move(dict));
}

SDF::Obj* NewSRGBImageSpace(SDF::SDFDoc& doc)
{
    SDF::Obj* space = doc.CreateIndirectArray();
    space->PushBackName("ICCBased");
    space->PushBack(NewSRGBProfileStream(doc));
    return space;
}
// A 4 KB window: the profile is small.
Common::Bytes SRGBProfileStored() { return DeflateBytes(SRGBProfileBytes()); }

}  // namespace qvx::PDF
