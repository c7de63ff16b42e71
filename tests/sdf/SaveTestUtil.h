#pragma once
// Helpers for the writer tests: a small document built in memory and the oracles run on
// saved bytes.

#include <filesystem>
#include <string>

#include "common/Buffer.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {

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

inline std::string AsString(Common::ByteView b) { return std::string(Common::AsChars(b)); }

}  // namespace qvx::Test
