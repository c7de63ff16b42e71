#pragma once
// Conversions of generated files for the tests that compare copies with their originals: the
// copy written to a folder, the colour pdftoppm draws at a point of page 1, and the
// appearance streams of annotations.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "common/UString.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/compliance/ColourTestSupport.h"
#include "tests/support/TestEnv.h"

namespace qvx::Test {

namespace fs = std::filesystem;
using qvx::PDF::PDFACompliance;

// Converts pdf at level into dir/name and returns its path.
inline fs::path Convert(const std::string& pdf, int level, const TempDir& dir, const std::string& name)
{
    PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
    fs::path out = dir.Path() / name;
    run.SaveAs(qvx::Common::UString::FromFileName(out.string()), false);
    return out;
}

// Converts pdf like Convert and expects the copy to pass revalidation; returns its path.
inline fs::path ConvertClean(const std::string& pdf, int level, const TempDir& dir, const std::string& name)
{
    fs::path out = Convert(pdf, level, dir, name);
    PDFACompliance again(false, ToBytes(ReadFile(out)), nullptr, level, nullptr, 0, 0, false);
    EXPECT_EQ(Findings(again), "") << name;
    return out;
}

// The colour of a pixel of page 1 as pdftoppm draws it, "r g b", at fractions of the
// page's width and height from its top left corner.
inline std::string PixelAt(const fs::path& pdf, double fx, double fy)
{
    fs::path prefix = pdf;
    prefix.replace_extension("");
    RunResult r = qvx::Test::Run({"/usr/bin/pdftoppm", "-r", "18", "-f", "1", "-l", "1", "-singlefile", pdf.string(), prefix.string()});
    std::string ppm = ReadFile(prefix.string() + ".ppm");
    std::istringstream in(ppm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    const int x = static_cast<int>(fx * w), y = static_cast<int>(fy * h);
    std::size_t at = static_cast<std::size_t>(in.tellg()) + 3 * static_cast<std::size_t>(y * w + x);
    if (magic != "P6" || at + 3 > ppm.size()) return "no image: " + r.output;
    auto c = [&](int i) { return std::to_string(static_cast<unsigned char>(ppm[at + i])); };
    return c(0) + " " + c(1) + " " + c(2);
}

// The decoded normal appearance stream of an annotation, or "no stream".
inline std::string NormalAppearance(qvx::SDF::SDFDoc& doc, int annot)
{
    qvx::SDF::Obj* n = qvx::PDF::FindIn(qvx::PDF::FindDict(qvx::PDF::Deref(doc.GetObj(annot)), "AP"), "N");
    auto bytes = n && n->IsStream() ? qvx::PDF::ReadDecoded(n, 1 << 20) : std::nullopt;
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("no stream");
}

// Whether two "r g b" colours differ by at most 16 in each component.
inline bool Near(const std::string& a, const std::string& b)
{
    std::istringstream x(a), y(b);
    for (int i = 0; i < 3; ++i) {
        int u = -1000, v = 1000;
        x >> u;
        y >> v;
        if (std::abs(u - v) > 16) return false;
    }
    return true;
}

}  // namespace qvx::Test
