#pragma once
// Helpers for the writer tests: a small document built in memory and the oracles run on
// saved bytes.

#include <filesystem>
#include <string>

#include "common/Buffer.h"
#include "filters/Filter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SecurityHandler.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {

// A handler that grants everything and changes nothing, in either direction.
class PassThroughHandler : public SDF::SecurityHandler {
public:
    bool GetPermission(Permission) const override { return true; }
    void DecryptString(Common::Bytes&, std::uint32_t, std::uint16_t) override {}
    std::unique_ptr<Filters::Filter> DecryptStream(std::unique_ptr<Filters::Filter> raw, const SDF::Obj&,
                                                   std::uint32_t, std::uint16_t) override
    {
        return raw;
    }
    std::unique_ptr<Filters::Filter> CreateCryptFilter(std::string_view, std::unique_ptr<Filters::Filter> in,
                                                       const SDF::Obj&) override
    {
        return in;
    }
    void EncryptString(Common::Bytes&, std::uint32_t, std::uint16_t) override {}
    std::unique_ptr<Filters::Filter> EncryptStream(std::unique_ptr<Filters::Filter> plain, const SDF::Obj&,
                                                   std::uint32_t, std::uint16_t) override
    {
        return plain;
    }
    std::uint64_t EncryptedStreamLength(std::uint64_t length, const SDF::Obj&) const override { return length; }
    std::unique_ptr<SDF::Obj> CreateEncryptDict() const override { return SDF::Dict::Create(); }
};

// A catalog with a page tree of `pages` pages, each with its own content stream drawing a
// box and a shared font and resources; an Info dictionary with a title.
inline void BuildDoc(SDF::SDFDoc& doc, int pages = 1)
{
    using namespace SDF;
    Obj* catalog = doc.CreateIndirectDict();
    catalog->PutName("Type", "Catalog");
    Obj* tree = doc.CreateIndirectDict();
    tree->PutName("Type", "Pages");
    catalog->Put("Pages", tree);
    Obj* font = doc.CreateIndirectDict();
    font->PutName("Type", "Font");
    font->PutName("Subtype", "Type1");
    font->PutName("BaseFont", "Helvetica");
    Obj* resources = doc.CreateIndirectDict();
    resources->PutDict("Font")->Put("F1", font);
    Obj* kids = tree->PutArray("Kids");
    for (int i = 0; i < pages; ++i) {
        Obj* page = doc.CreateIndirectDict();
        page->PutName("Type", "Page");
        page->Put("Parent", tree);
        Obj* box = page->PutArray("MediaBox");
        for (double v : {0.0, 0.0, 200.0, 100.0}) box->PushBackNumber(v);
        page->Put("Resources", resources);
        std::string content = "0 0 1 rg " + std::to_string(10 + 10 * i) + " 10 50 50 re f BT /F1 12 Tf 80 40 Td (Page " +
                              std::to_string(i + 1) + ") Tj ET";
        page->Put("Contents", doc.CreateIndirectStream(Common::ToBytes(content)));
        kids->PushBack(page);
    }
    tree->PutNumber("Count", pages);
    Obj* info = doc.CreateIndirectDict();
    info->PutString("Title", "Writer (test)");
    doc.GetTrailer()->Put("Root", catalog);
    doc.GetTrailer()->Put("Info", info);
}

inline std::filesystem::path WriteTemp(const TempDir& dir, const std::string& name, Common::ByteView bytes)
{
    return dir.Write(name, std::string(Common::AsChars(bytes)));
}

// qpdf --check on bytes: its exit status (0 clean, 2 errors, 3 warnings) and output.
inline RunResult QpdfCheck(Common::ByteView bytes, const std::string& extra = {})
{
    TempDir dir;
    auto p = WriteTemp(dir, "check.pdf", bytes);
    std::vector<std::string> argv{"/usr/bin/qpdf", "--check"};
    if (!extra.empty()) argv.push_back(extra);
    argv.push_back(p.string());
    return Run(argv);
}

// qpdf with args (the file last), its output.
inline RunResult Qpdf(std::vector<std::string> args)
{
    args.insert(args.begin(), "/usr/bin/qpdf");
    return Run(args);
}

inline std::string AsString(Common::ByteView b) { return std::string(Common::AsChars(b)); }

}  // namespace qvx::Test

namespace qvx::Test {

// One line of a classic cross-reference section read back from saved bytes.
struct XRefLineRead {
    std::uint32_t num;
    std::uint64_t offset;
    std::uint32_t gen;
    char type;
};

// The entries of the classic section at offset (e.g. the one startxref names), checking
// that every line is 20 bytes ending in CR LF. Stops at "trailer".
inline std::vector<XRefLineRead> ReadClassicXRef(const std::string& pdf, std::size_t offset)
{
    std::vector<XRefLineRead> out;
    EXPECT_EQ(pdf.compare(offset, 5, "xref\r"), 0);
    std::size_t at = offset + 5;
    while (pdf.compare(at, 7, "trailer") != 0) {
        std::size_t eol = pdf.find('\r', at);
        std::uint32_t first = 0, count = 0;
        std::sscanf(pdf.substr(at, eol - at).c_str(), "%u %u", &first, &count);
        at = eol + 1;
        for (std::uint32_t k = 0; k < count; ++k, at += 20) {
            std::string line = pdf.substr(at, 20);
            EXPECT_EQ(line.substr(18), "\r\n") << line;
            out.push_back({first + k, std::stoull(line.substr(0, 10)), static_cast<std::uint32_t>(std::stoul(line.substr(11, 5))),
                           line[17]});
        }
    }
    return out;
}

// The offset startxref names at the end of saved bytes.
inline std::size_t StartXRef(const std::string& pdf)
{
    std::size_t at = pdf.rfind("startxref");
    return at == std::string::npos ? 0 : std::stoull(pdf.substr(at + 9));
}

// The trailer dictionary text after the last "trailer" keyword.
inline std::string TrailerText(const std::string& pdf)
{
    std::size_t at = pdf.rfind("trailer\r");
    std::size_t end = pdf.find(">>\r", at);
    return pdf.substr(at + 8, end + 2 - at - 8);
}

}  // namespace qvx::Test
