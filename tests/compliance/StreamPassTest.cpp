// The object pass over streams: forbidden keys, filters, metadata filters and the bytes
// of each stream in the file, with the repairs of conversion and the null that replaces an
// object that cannot be read.
#include <gtest/gtest.h>
#include <zlib.h>

#include "filters/Filter.h"
#include "filters/FilterReader.h"
#include "filters/LZWEncode.h"
#include "filters/MemoryFilter.h"
#include "pdf/StreamData.h"
#include "sdf/Objects.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"

using qvx::PDF::PDFACompliance;
using qvx::Test::CleanFile;
using qvx::Test::Findings;
using qvx::Test::PdfBuilder;
using qvx::Test::ToBytes;

namespace {

using qvx::Test::k1B, qvx::Test::k2B, qvx::Test::k3B, qvx::Test::k4, qvx::Test::kUA;

// The clean file of level with object 6, an unreferenced stream: dict entries and data.
std::string WithStream(int level, const std::string& dict, const std::string& data = "abc")
{
    PdfBuilder b = CleanFile(level);
    b.SetStream(6, dict, data);
    return b.Build();
}

// The clean file of level with object 6 written as body (what stands between obj and endobj).
std::string WithObject(int level, const std::string& body)
{
    PdfBuilder b = CleanFile(level);
    b.Set(6, body);
    return b.Build();
}

std::string Converted(const std::string& pdf, int level, int num, const std::string& key)
{
    PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
    qvx::SDF::Obj* v = run.GetDoc().GetObj(num)->FindObj(key);
    if (!v) return "(none)";
    if (v->IsName()) return std::string(v->GetName());
    if (v->IsArray()) {
        std::string s;
        for (std::size_t i = 0; i < v->Size(); ++i) s += (i ? " " : "") + std::string(v->GetAt(i)->GetName());
        return "[" + s + "]";
    }
    return "(other)";
}

}  // namespace

TEST(StreamPass, ExternalStreamDataKeys)
{
    EXPECT_EQ(Findings(WithStream(k2B, "/F(data.bin)"), k2B), "174(6)");
    EXPECT_EQ(Findings(WithStream(k1B, "/FFilter/FlateDecode"), k1B), "174(6)");
    EXPECT_EQ(Findings(WithStream(k4, "/FDecodeParms<<>>"), k4), "174(6)");
    // An entry whose value is null is no entry.
    EXPECT_EQ(Findings(WithStream(k2B, "/F null/FFilter null"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k1B, "/FDecodeParms null/F()"), k1B), "174(6)");
    // Conversion drops all three.
    std::string all = WithStream(k2B, "/F(x)/FFilter/AHx/FDecodeParms<<>>");
    EXPECT_EQ(Findings(all, k2B, {.convert = true}), "174(6)");
    for (const char* key : {"F", "FFilter", "FDecodeParms"}) EXPECT_EQ(Converted(all, k2B, 6, key), "(none)") << key;
    EXPECT_EQ(Converted(all, k2B, 6, "Length"), "(other)");
}

TEST(StreamPass, Filters)
{
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/FlateDecode"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter[/ASCIIHexDecode/ASCII85Decode/RunLengthDecode/CCITTFaxDecode"
                                       "/JBIG2Decode/DCTDecode]"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k1B, "/Filter/LZWDecode"), k1B), "1101(6)");
    EXPECT_EQ(Findings(WithStream(k4, "/Filter[/FlateDecode/LZW]"), k4), "1101(6)");
    // The walk ends at LZW: the unknown name after it goes unreported.
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter[/LZWDecode/Foo]"), k2B), "1101(6)");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter[/Foo/LZWDecode]"), k2B), "1101(6) 1103(6)");
    // JPEG 2000: forbidden in PDF/A-1, checked by the image rules from PDF/A-2 on.
    EXPECT_EQ(Findings(WithStream(k1B, "/Filter/JPXDecode"), k1B), "13(6)");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/JPXDecode"), k2B), "");
    // Crypt only as the identity filter.
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/Crypt"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/Crypt/DecodeParms<</Name/Identity>>"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter[/Crypt]/DecodeParms[<</Name/Identity>>]"), k2B), "");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/Crypt/DecodeParms<</Name/StdCF>>"), k2B), "1102(6)");
    EXPECT_EQ(Findings(WithStream(k3B, "/Filter[/Crypt]/DecodeParms[]"), k3B), "1102(6)");
    // Anything else, abbreviations included.
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/Foo"), k2B), "1103(6)");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter 3"), k2B), "1103(6)");
    EXPECT_EQ(Findings(WithStream(k1B, "/Filter[/Fl 3]"), k1B), "1103(6)");
    EXPECT_EQ(Findings(WithStream(k2B, "/Filter/AHx"), k2B), "1103(6)");
    // PDF/UA runs do not check filters.
    std::string ua = Findings(WithStream(k2B, "/Filter/LZWDecode"), kUA);
    EXPECT_EQ(ua.find("1101"), std::string::npos) << ua;
}

TEST(StreamPass, ConversionExpandsFilterAbbreviations)
{
    EXPECT_EQ(Converted(WithStream(k2B, "/Filter/AHx"), k2B, 6, "Filter"), "ASCIIHexDecode");
    EXPECT_EQ(Converted(WithStream(k2B, "/Filter[/A85/Fl/RL/CCF/DCT]"), k2B, 6, "Filter"),
              "[ASCII85Decode FlateDecode RunLengthDecode CCITTFaxDecode DCTDecode]");
    // Data under a filter no reader knows keeps neither the filter nor the data, but for an
    // image (readers draw nothing for it, and would draw something for empty data).
    for (const char* filter : {"/Filter[/A85/Foo]", "/Filter 3", "/Filter[/Fl 3]"}) {
        PdfBuilder b = CleanFile(k2B);
        b.SetStream(6, filter, "abc");
        PDFACompliance run(true, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* s = run.GetDoc().GetObj(6);
        EXPECT_EQ(s->FindObj("Filter"), nullptr) << filter;
        EXPECT_EQ(qvx::PDF::ReadDecoded(s, 100)->size(), 0u) << filter;
    }
    EXPECT_EQ(Converted(WithStream(k2B, "/Subtype/Image/Filter/Foo"), k2B, 6, "Filter"), "Foo");
    // LZW is not renamed but re-encoded.
    EXPECT_EQ(Converted(WithStream(k2B, "/Filter/LZW"), k2B, 6, "Filter"), "FlateDecode");
    // Validation leaves the names alone.
    PDFACompliance run(false, ToBytes(WithStream(k2B, "/Filter/AHx")), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(run.GetDoc().GetObj(6)->FindObj("Filter")->GetName(), "AHx");
}

TEST(StreamPass, ConversionReencodesLZWWithFlateUnderTheSameNumber)
{
    const std::string content = "0 0 m 100 100 l 50 50 m 10 0 l n % a content stream long enough to repeat repeat repeat";
    auto sink = std::make_unique<qvx::Filters::MemoryFilter>();
    qvx::Filters::MemoryFilter* mem = sink.get();
    qvx::Filters::LZWEncode enc(std::move(sink));
    qvx::Filters::FilterWriter w(enc);
    w.WriteBuffer(qvx::Common::AsBytes(content));
    w.Finish();
    qvx::Common::Bytes lzw = mem->Release();
    PdfBuilder b = CleanFile(k1B);
    b.SetStream(4, "/Filter/LZWDecode/DecodeParms<</EarlyChange 1>>/Extra 7", std::string(lzw.begin(), lzw.end()));
    EXPECT_EQ(Findings(b.Build(), k1B), "1101(4)");
    PDFACompliance run(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
    qvx::SDF::Obj* stream = run.GetDoc().GetObj(4);
    EXPECT_EQ(stream->FindObj("Filter")->GetName(), "FlateDecode");
    EXPECT_EQ(stream->FindObj("DecodeParms"), nullptr);
    EXPECT_EQ(stream->FindObj("Extra")->GetNumber(), 7);
    qvx::Common::Bytes data = qvx::Filters::FilterReader(*stream->GetDecodedStream()).ReadAll();
    EXPECT_EQ(std::string(data.begin(), data.end()), content);
    // The page still reaches it by its number, and the saved copy has nothing to report.
    EXPECT_EQ(run.GetDoc().GetObj(3)->FindObj("Contents")->GetObjNum(), 4u);
    qvx::Common::Bytes saved = run.GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused | qvx::SDF::SDFDoc::e_classic_xref, "%PDF-1.4");
    EXPECT_EQ(Findings(std::string(saved.begin(), saved.end()), k1B), "");
    // Data that does not decode is left as it was, with its finding.
    EXPECT_EQ(Converted(WithStream(k2B, "/Filter[/LZWDecode/Foo]"), k2B, 6, "Filter"), "[LZWDecode Foo]");
}

TEST(StreamPass, ConversionRecompressesJPEG2000Images)
{
    // An RGB picture and a grey one as JPEG 2000, drawn on a page: PDF/A-1 takes no JPEG 2000,
    // so each becomes an 8-bit JPEG image under the same number, its samples close to the
    // originals; at 2B they are left as they are. An indexed image keeps its indices (Flate).
    qvx::Test::TempDir dir;
    auto picture = [](int channels) {
        std::vector<unsigned> px;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                for (int c = 0; c < channels; ++c) px.push_back(x * 8 + y * 4 + c * 30);
        return px;
    };
    auto jpx = [&](int channels) {
        std::string pnm = std::string(channels == 1 ? "P5" : "P6") + "\n16 8\n255\n";
        for (unsigned v : picture(channels)) pnm += static_cast<char>(v);
        const std::string in = dir.Write(channels == 1 ? "in.pgm" : "in.ppm", pnm).string();
        const std::string out = (dir.Path() / "out.jp2").string();
        qvx::Test::Run({"/usr/bin/opj_compress", "-n", "2", "-i", in, "-o", out});
        return ToBytes(qvx::Test::ReadFile(out));
    };
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = CleanFile(level);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]/Resources<</XObject<</A 6 0 R/B 7 0 R/C 8 0 R>>>>/Contents 4 0 R>>");
        b.SetStream(4, "", "q 50 0 0 50 0 0 cm /A Do Q q 50 0 0 50 50 0 cm /B Do Q q 50 0 0 50 0 50 cm /C Do Q");
        qvx::Common::Bytes rgb = jpx(3), grey = jpx(1);
        ASSERT_FALSE(rgb.empty() || grey.empty());
        b.SetStream(6, "/Type/XObject/Subtype/Image/Width 16/Height 8/Filter/JPXDecode", std::string(rgb.begin(), rgb.end()));
        b.SetStream(7, "/Type/XObject/Subtype/Image/Width 16/Height 8/Filter[/JPXDecode]", std::string(grey.begin(), grey.end()));
        b.SetStream(8, "/Type/XObject/Subtype/Image/Width 16/Height 8/BitsPerComponent 8/ColorSpace[/Indexed/DeviceRGB 255 9 0 R]/Filter/JPXDecode",
                    std::string(grey.begin(), grey.end()));
        std::string palette;
        for (int i = 0; i < 256; ++i) palette += std::string(3, static_cast<char>(i));
        b.SetStream(9, "", palette);
        PDFACompliance run(true, ToBytes(b.Build()), nullptr, level, nullptr, 0, 0, false);
        for (auto [num, channels, filter] : {std::tuple{6, 3, "DCTDecode"}, std::tuple{7, 1, "DCTDecode"}, std::tuple{8, 1, "FlateDecode"}}) {
            SCOPED_TRACE(num);
            qvx::SDF::Obj* image = run.GetDoc().GetObj(num);
            std::string name = image->FindObj("Filter")->IsName() ? std::string(image->FindObj("Filter")->GetName()) : "array";
            if (level == k2B) {
                EXPECT_NE(name, filter);
                continue;
            }
            EXPECT_EQ(name, filter);
            EXPECT_EQ(image->FindObj("BitsPerComponent")->GetNumber(), 8);
            qvx::Common::Bytes samples = qvx::Filters::FilterReader(*image->GetDecodedStream()).ReadAll();
            std::vector<unsigned> want = picture(channels);
            ASSERT_EQ(samples.size(), want.size());
            unsigned worst = 0;
            for (std::size_t i = 0; i < want.size(); ++i) worst = std::max(worst, static_cast<unsigned>(std::abs(int(samples[i]) - int(want[i]))));
            EXPECT_LE(worst, num == 8 ? 0u : 48u);
        }
        if (level == k1B) {
            qvx::Common::Bytes saved = run.GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_prune_unused | qvx::SDF::SDFDoc::e_classic_xref, "%PDF-1.4");
            EXPECT_EQ(Findings(std::string(saved.begin(), saved.end()), k1B).find("13("), std::string::npos);
        }
    }
}

TEST(StreamPass, JPEG2000OpacityChannelsAndThumbnails)
{
    // A grey picture with an opacity channel that the file's channel definitions name as
    // such (opj_compress writes none: the box is added to the header). Readers ignore it
    // unless SMaskInData asks for it, so at 1B the image becomes a one-channel JPEG of the
    // grey alone, as an image and as a page thumbnail (which carries no Subtype); with
    // SMaskInData 1 the opacity is a soft mask, which PDF/A-1 has no room for: it stays.
    qvx::Test::TempDir dir;
    std::string pam = "P7\nWIDTH 16\nHEIGHT 8\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n";
    for (int i = 0; i < 16 * 8; ++i) pam += std::string{static_cast<char>(i * 2), static_cast<char>(200)};
    const std::string out = (dir.Path() / "out.jp2").string();
    qvx::Test::Run({"/usr/bin/opj_compress", "-n", "2", "-i", dir.Write("in.pam", pam).string(), "-o", out});
    std::string jp2 = qvx::Test::ReadFile(out);
    // As opj_compress writes it, without channel definitions, the grey picture still has its
    // second channel, which carries no colour either; at 2B two channels are too many, and
    // the new image keeps the grey, taking its space from the file.
    {
        PdfBuilder b = CleanFile(k2B);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]/Resources<</XObject<</A 6 0 R>>>>/Contents 4 0 R>>");
        b.SetStream(4, "", "q 50 0 0 50 0 0 cm /A Do Q");
        b.SetStream(6, "/Type/XObject/Subtype/Image/Width 16/Height 8/Filter/JPXDecode", jp2);
        EXPECT_EQ(Findings(b.Build(), k2B), "2832(6)");
        PDFACompliance run(true, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* image = run.GetDoc().GetObj(6);
        EXPECT_EQ(image->FindObj("Filter")->GetName(), "DCTDecode");
        EXPECT_EQ(image->FindObj("ColorSpace")->GetName(), "DeviceGray");
        qvx::Common::Bytes samples = qvx::Filters::FilterReader(*image->GetDecodedStream()).ReadAll();
        ASSERT_EQ(samples.size(), 16u * 8u);
        for (std::size_t i = 0; i < samples.size(); i += 37) EXPECT_NEAR(samples[i], static_cast<int>(i * 2), 24) << i;
        EXPECT_EQ(qvx::Test::FindingsAfterConversion(b.Build(), k2B), "");
    }
    const std::size_t header = jp2.find("jp2h");
    ASSERT_NE(header, std::string::npos);
    auto be = [](unsigned v, int bytes) {
        std::string b;
        for (int i = bytes - 1; i >= 0; --i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
        return b;
    };
    // Channel 0 the colour of the image (association 1), channel 1 its opacity.
    const std::string cdef = be(8 + 2 + 12, 4) + "cdef" + be(2, 2) + be(0, 2) + be(0, 2) + be(1, 2) + be(1, 2) + be(1, 2) + be(0, 2);
    const unsigned box = static_cast<unsigned char>(jp2[header - 4]) << 24 | static_cast<unsigned char>(jp2[header - 3]) << 16 |
                         static_cast<unsigned char>(jp2[header - 2]) << 8 | static_cast<unsigned char>(jp2[header - 1]);
    jp2.insert(header - 4 + box, cdef);
    jp2.replace(header - 4, 4, be(box + static_cast<unsigned>(cdef.size()), 4));
    for (bool mask : {false, true}) {
        SCOPED_TRACE(mask);
        PdfBuilder b = CleanFile(k1B);
        b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 100 100]/Resources<</XObject<</A 6 0 R>>>>/Contents 4 0 R/Thumb 7 0 R>>");
        b.SetStream(4, "", "q 50 0 0 50 0 0 cm /A Do Q");
        const std::string entries = std::string("/Width 16/Height 8/ColorSpace/DeviceGray/BitsPerComponent 8/Filter/JPXDecode") +
                                    (mask ? "/SMaskInData 1" : "");
        b.SetStream(6, "/Type/XObject/Subtype/Image" + entries, jp2);
        b.SetStream(7, entries, jp2);
        PDFACompliance run(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
        for (std::uint32_t num : {6u, 7u}) {
            SCOPED_TRACE(num);
            qvx::SDF::Obj* image = run.GetDoc().GetObj(num);
            const bool jpeg = image->FindObj("Filter")->IsName() && image->FindObj("Filter")->GetName() == "DCTDecode";
            EXPECT_EQ(jpeg, !mask);
            if (!jpeg) continue;
            qvx::Common::Bytes samples = qvx::Filters::FilterReader(*image->GetDecodedStream()).ReadAll();
            ASSERT_EQ(samples.size(), 16u * 8u);
            for (std::size_t i = 0; i < samples.size(); i += 37) EXPECT_NEAR(samples[i], static_cast<int>(i * 2), 24) << i;
        }
    }
}

TEST(StreamPass, MetadataStreamsUnfilteredInPDFA1)
{
    std::string packed = WithStream(k1B, "/Type/Metadata/Subtype/XML/Filter/AHx", "3C3F3E>");
    EXPECT_EQ(Findings(packed, k1B), "722(6) 1103(6)");
    EXPECT_EQ(Findings(WithStream(k2B, "/Type/Metadata/Subtype/XML/Filter/ASCIIHexDecode", "3C3F3E>"), k2B), "");
    // Conversion stores the decoded data without a filter.
    PDFACompliance run(true, ToBytes(packed), nullptr, k1B, nullptr, 0, 0, false);
    qvx::SDF::Obj* stream = run.GetDoc().GetObj(6);
    EXPECT_EQ(stream->FindObj("Filter"), nullptr);
    EXPECT_EQ(std::string(qvx::Common::AsChars(
                  qvx::Filters::FilterReader(*stream->GetDecodedStream()).ReadAll())), "<?>");
}

TEST(StreamPass, StreamBytesInTheFile)
{
    // Length bytes, an EOL marker, endstream, an EOL marker, endobj.
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabc\r\nendstream"), k2B), "");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabc\rendstream"), k2B), "");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 2>>\nstream\nabc\nendstream"), k2B), "173(6)");
    EXPECT_EQ(Findings(WithObject(k4, "<</Length 4>>\nstream\nabc\nendstream"), k4), "173(6)");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabcendstream"), k2B), "173(6)");
    EXPECT_EQ(Findings(WithObject(k2B, "<<>>\nstream\nabc\nendstream"), k2B), "173(6)");
    EXPECT_EQ(Findings(WithObject(k1B, "<</Length 7 0 R>>\nstream\nabc\nendstream"), k1B), "173(6)");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabc\n\nendstream"), k2B), "172(6)");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabc\n endstream"), k2B), "172(6)");
    EXPECT_EQ(Findings(WithObject(k1B, "<</Length 3>>\nstream\nabc\nendstream "), k1B), "184(6)");
    EXPECT_EQ(Findings(WithObject(k2B, "<</Length 3>>\nstream\nabc\nendstream\n"), k2B), "184(6)");
    // An indirect Length counts like a direct one.
    PdfBuilder b = CleanFile(k2B);
    b.Set(6, "<</Length 7 0 R>>\nstream\nabc\nendstream");
    b.Set(7, "3");
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    b.Set(7, "5");
    EXPECT_EQ(Findings(b.Build(), k2B), "173(6)");
}

TEST(StreamPass, ConversionReadsDataWhoseEndIsDamagedAsViewersDo)
{
    // The page's content (object 4) without a usable Length, its endobj damaged, so the
    // scan for endstream followed by endobj finds nothing: the copy takes the data up to
    // endstream, filtered or not.
    const std::string content = "0 0 1 rg 0 0 200 200 re f";
    auto saved_content = [&](const std::string& pdf) {
        PDFACompliance run(true, ToBytes(pdf), nullptr, k2B, nullptr, 0, 0, false);
        qvx::Common::Bytes saved = run.GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_classic_xref, "%PDF-1.7");
        PDFACompliance copy(false, saved, nullptr, k2B, nullptr, 0, 0, false);
        auto data = qvx::PDF::ReadDecoded(copy.GetDoc().GetObj(4), 1 << 20);
        return data ? std::string(data->begin(), data->end()) : std::string("(unreadable)");
    };
    auto damaged = [](PdfBuilder b, const std::string& dict, const std::string& data, const std::string& tail) {
        b.Set(4, dict + "\nstream\n" + data + tail);
        std::string pdf = b.Build();
        std::size_t at = pdf.find("\nendobj", pdf.find("4 0 obj"));
        pdf.replace(at, 7, "\n\xbfndobj");
        return pdf;
    };
    const PdfBuilder clean = CleanFile(k2B);
    EXPECT_EQ(saved_content(damaged(clean, "<</Lxngth 25>>", content, "\nendstream")), content);
    EXPECT_EQ(saved_content(damaged(clean, "<</Length 5>>", content, "\r\nendstream")), content);
    std::string flate(compressBound(content.size()), '\0');
    uLongf size = flate.size();
    compress(reinterpret_cast<Bytef*>(flate.data()), &size, reinterpret_cast<const Bytef*>(content.data()), content.size());
    flate.resize(size);
    EXPECT_EQ(saved_content(damaged(clean, "<</Filter/FlateDecode/Length 5>>", flate, "\nendstream")), content);
    // No endstream anywhere after the data: the copy is written all the same, the stream
    // that cannot be read being null.
    const std::string endless = WithObject(k2B, "<</Filter/FlateDecode>>\nstream\n" + flate);
    PDFACompliance run(true, ToBytes(endless), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_TRUE(run.GetDoc().GetObj(6)->IsNull());
    qvx::Common::Bytes saved = run.GetDoc().SaveToBuffer(qvx::SDF::SDFDoc::e_classic_xref, "%PDF-1.7");
    EXPECT_EQ(Findings(std::string(saved.begin(), saved.end()), k2B), "");
}

TEST(StreamPass, UnreadableObjectBecomesNull)
{
    std::string broken = WithObject(k2B, "<</A 1>>");
    std::size_t at = broken.find("6 0 obj");
    broken.replace(at, 7, "6 0 obx");
    EXPECT_EQ(Findings(broken, k2B), "11(6)");
    PDFACompliance run(false, ToBytes(broken), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_TRUE(run.GetDoc().GetObj(6)->IsNull());
    // PDF/UA runs read every object too.
    EXPECT_NE(Findings(broken, kUA).find("-102(6)"), std::string::npos);
}

TEST(StreamPass, RefsFollowEveryStreamUpToTheCap)
{
    PdfBuilder b = CleanFile(k2B);
    for (int n = 6; n <= 30; ++n) b.SetStream(n, "/Filter/LZWDecode", "x");
    PDFACompliance all(false, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 0, false);
    EXPECT_EQ(all.GetRefCount(1101), 25);
    PDFACompliance capped(false, ToBytes(b.Build()), nullptr, k2B, nullptr, 0, 10, false);
    EXPECT_EQ(capped.GetRefCount(1101), 10);
    EXPECT_EQ(capped.GetRef(1101, 9), 15u);
}
