#include "pdf/AppearanceText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "common/Exception.h"
#include "common/UString.h"
#include "pdf/CMap.h"
#include "pdf/FontProgram.h"
#include "pdf/FontSubstitution.h"
#include "pdf/PageContent.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

// Fonts one text is set in at most: a script each, in the rare text that mixes many.
constexpr std::size_t kMaxFaces = 4;

// Hebrew, Syriac, Arabic and their kin, with their presentation forms.
bool IsRightToLeft(char32_t c)
{
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

// Spaces and punctuation, which take the direction of the text around them. Digits are
// not among them: numbers read left to right in right-to-left text too.
bool IsNeutral(char32_t c)
{
    return c < 0x30 || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0xBF) ||
           (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F);
}

std::u32string CodePoints(std::u16string_view text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c >= 0x20 && (c < 0xD800 || c >= 0xE000)) out += c;
    }
    return out;
}

// A PostScript name for a font file: its name without extension, in the characters such
// names may have.
std::string NameOfFile(const std::string& file)
{
    std::string out;
    for (char c : std::filesystem::path(file).stem().string())
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') out += c;
    return out.empty() ? "Font" : out;
}

SDF::Obj* FlateStream(SDF::SDFDoc& doc, const std::string& data)
{
    auto dict = SDF::Dict::Create();
    dict->PutName("Filter", "FlateDecode");
    return doc.CreateIndirectStream(SDF::FlateBytes(Common::AsBytes(data)), std::move(dict));
}

struct Glyph {
    double width;
    std::u16string text;
};

struct Face {
    std::unique_ptr<SubstituteProgram> program;
    std::string name;
    std::map<unsigned, Glyph> used;     // by the program's glyph number
    std::map<unsigned, unsigned> gids;  // the subset's number of each glyph used
    SDF::Obj* dict = nullptr;
};

// Characters of one font and one direction, in reading order.
struct Run {
    std::size_t face;
    bool right_to_left;
    std::u32string text;
};

}  // namespace

void TextSetter::SetFont(AppearanceWriter& w, const std::string& name, double size)
{
    std::string tf = "/" + name + " " + ContentNumber(size) + " Tf";
    if (tf == m_font) return;
    w.Op(tf);
    m_font = std::move(tf);
}

struct ShapedText::Impl {
    SDF::SDFDoc& doc;
    std::vector<Face> faces;

    std::optional<std::size_t> FaceFor(char32_t c) const
    {
        for (std::size_t i = 0; i < faces.size(); ++i)
            if (faces[i].program->Glyph(c)) return i;
        return std::nullopt;
    }

    // The runs of a line in the order they are drawn, left to right: a line that starts in
    // a right-to-left script has its runs laid from the right.
    std::vector<Run> Runs(std::u16string_view line) const
    {
        std::u32string text = CodePoints(line);
        auto strong = std::find_if(text.begin(), text.end(), [](char32_t c) { return !IsNeutral(c); });
        const bool base_rtl = strong != text.end() && IsRightToLeft(*strong);
        std::vector<Run> runs;
        for (char32_t c : text) {
            std::optional<std::size_t> face = FaceFor(c);
            if (!face) continue;
            const bool neutral = IsNeutral(c), rtl = neutral ? base_rtl : IsRightToLeft(c);
            if (!runs.empty() && neutral && faces[runs.back().face].program->Glyph(c)) {
                runs.back().text += c;
            } else if (runs.empty() || runs.back().face != *face || (!neutral && runs.back().right_to_left != rtl)) {
                runs.push_back({*face, rtl, std::u32string(1, c)});
            } else {
                runs.back().text += c;
            }
        }
        // Spaces and punctuation after a run against the line's direction belong between it
        // and the next: they go in the line's direction.
        std::vector<Run> out;
        for (Run& run : runs) {
            std::size_t keep = run.text.size();
            while (run.right_to_left != base_rtl && keep > 0 && IsNeutral(run.text[keep - 1])) --keep;
            std::u32string tail = run.text.substr(keep);
            run.text.resize(keep);
            if (!run.text.empty()) out.push_back(std::move(run));
            if (!tail.empty()) out.push_back({out.empty() ? run.face : out.back().face, base_rtl, std::move(tail)});
        }
        if (base_rtl) std::reverse(out.begin(), out.end());
        return out;
    }

    std::vector<SubstituteProgram::ShapedGlyph> Shape(const Run& run) const
    {
        return faces[run.face].program->Shape(run.text, run.right_to_left);
    }

    // Records the glyphs of a run with their widths and the text of the characters each
    // stands for (the first text found for a glyph).
    void Use(const Run& run)
    {
        std::vector<SubstituteProgram::ShapedGlyph> glyphs = Shape(run);
        std::set<std::size_t> clusters;
        for (const auto& g : glyphs) clusters.insert(g.cluster);
        Face& face = faces[run.face];
        for (const auto& g : glyphs) {
            // .notdef is not shown, though shaping may give it for a character it cannot place.
            if (g.glyph == 0 || face.used.count(g.glyph) || g.cluster >= run.text.size()) continue;
            auto next = clusters.upper_bound(g.cluster);
            std::size_t end = next == clusters.end() ? run.text.size() : *next;
            std::u16string text;
            for (std::size_t i = g.cluster; i < end; ++i) Common::AppendUTF16(text, run.text[i]);
            face.used.emplace(g.glyph, Glyph{std::round(g.own_advance), std::move(text)});
        }
    }

    // The face's Type 0 font of the subset of the glyphs used; none when the program cannot
    // be cut, and its text is then left out.
    void Embed(Face& face)
    {
        std::map<unsigned, double> widths;
        SubstituteProgram::Widths tag_source;
        for (const auto& [g, glyph] : face.used) {
            widths.emplace(g, glyph.width);
            tag_source.emplace(static_cast<char32_t>(g), glyph.width);
        }
        auto subset = face.program->SubsetGlyphs(widths);
        if (!subset || !FontProgram::Open(subset->data)) return;
        face.gids = subset->gids;
        const std::string name = SubstituteProgram::SubsetTag(tag_source) + face.name;

        SDF::Obj* descriptor = doc.CreateIndirectDict();
        descriptor->PutName("Type", "FontDescriptor");
        descriptor->PutName("FontName", name);
        descriptor->PutNumber("Flags", 4);  // symbolic: glyphs outside the Latin set
        FillDescriptorMetrics(descriptor, face.program->GetMetrics());
        SDF::Obj* program = FlateStream(doc, std::string(subset->data.begin(), subset->data.end()));
        program->PutNumber("Length1", static_cast<double>(subset->data.size()));
        descriptor->Put("FontFile2", program);
        // Every glyph of the program is a CID present, the parts of composite glyphs too.
        std::string cidset((subset->glyph_count + 7) / 8, '\0');
        for (unsigned g = 0; g < subset->glyph_count; ++g) cidset[g / 8] = static_cast<char>(cidset[g / 8] | (0x80 >> (g % 8)));
        descriptor->Put("CIDSet", FlateStream(doc, cidset));

        SDF::Obj* cid = doc.CreateIndirectDict();
        cid->PutName("Type", "Font");
        cid->PutName("Subtype", "CIDFontType2");
        cid->PutName("BaseFont", name);
        SDF::Obj* info = cid->PutDict("CIDSystemInfo");
        info->PutString("Registry", "Adobe");
        info->PutString("Ordering", "Identity");
        info->PutNumber("Supplement", 0);
        cid->Put("FontDescriptor", descriptor);
        cid->PutName("CIDToGIDMap", "Identity");
        SDF::Obj* w = cid->PutArray("W");
        std::map<unsigned, std::u16string> texts;
        for (const auto& [g, to] : face.gids) {
            w->PushBackNumber(to);
            w->PushBackArray()->PushBackNumber(face.used.at(g).width);
            texts.emplace(to, face.used.at(g).text);
        }

        face.dict = doc.CreateIndirectDict();
        face.dict->PutName("Type", "Font");
        face.dict->PutName("Subtype", "Type0");
        face.dict->PutName("BaseFont", name);
        face.dict->PutName("Encoding", "Identity-H");
        face.dict->PutArray("DescendantFonts")->PushBack(cid);
        face.dict->Put("ToUnicode", FlateStream(doc, WriteToUnicodeCMap(texts, 2)));
    }
};

ShapedText::ShapedText(SDF::SDFDoc& doc, const std::string& family, const std::vector<std::u16string>& lines)
    : mp(new Impl{doc, {}})
{
    std::set<char32_t> chars;
    for (const std::u16string& line : lines)
        for (char32_t c : CodePoints(line)) chars.insert(c);
    SubstituteRequest request;
    request.name = family;
    request.partial = true;
    request.any_family = true;
    try {
        while (mp->faces.size() < kMaxFaces) {
            request.chars.clear();
            for (char32_t c : chars)
                if (!mp->FaceFor(c)) request.chars.push_back(c);
            if (request.chars.empty()) break;
            ChosenSubstitute chosen = FindSubstitute(request);
            if (!chosen.program) break;
            mp->faces.push_back({std::move(chosen.program), NameOfFile(chosen.file), {}, {}, nullptr});
        }
    } catch (const Common::Exception&) {
        // No fontconfig or HarfBuzz on the machine: the fonts found so far serve.
    }
}

ShapedText::~ShapedText() = default;

bool ShapedText::CanShow() const { return !mp->faces.empty(); }

double ShapedText::Width(std::u16string_view text)
{
    double width = 0;
    for (const Run& run : mp->Runs(text))
        for (const auto& g : mp->Shape(run)) width += g.advance;
    return width / 1000;
}

void ShapedText::Prepare(const std::vector<std::u16string>& lines)
{
    for (const std::u16string& line : lines)
        for (const Run& run : mp->Runs(line)) mp->Use(run);
    for (Face& face : mp->faces)
        if (!face.used.empty()) mp->Embed(face);
}

void ShapedText::Show(AppearanceWriter& w, std::u16string_view text, double size)
{
    for (const Run& run : mp->Runs(text)) {
        Face& face = mp->faces[run.face];
        if (!face.dict) continue;
        SetFont(w, w.Resource("Font", "F", face.dict), size);
        // Glyph numbers as two-byte codes; where shaping moves a glyph from its own advance
        // (kerning, marks), the difference goes between the codes.
        std::string array = "[<";
        char hex[8];
        for (const auto& g : mp->Shape(run)) {
            auto it = face.gids.find(g.glyph);
            if (it == face.gids.end()) continue;
            std::snprintf(hex, sizeof hex, "%04X", it->second);
            array += hex;
            const double adjust = face.used.at(g.glyph).width - g.advance;
            if (std::abs(adjust) >= 0.5) array += "> " + ContentNumber(std::round(adjust)) + " <";
        }
        w.Op(array + ">] TJ");
    }
}

}  // namespace qvx::PDF
