// Text whose font the resources do not define cannot be drawn with an embedded program;
// conversion defines the name, taking the form's default font where the name is one of its.
#include <algorithm>
#include <map>
#include <vector>

#include "pdf/ObjUtil.h"
#include "pdf/compliance/ContentRewrite.h"
#include "pdf/compliance/FontReplacement.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

void MissingFonts::Add(SDF::Obj* resources, SDF::Obj* stream, const std::string& name, std::span<const Element::Shown> shown)
{
    auto same = [&](const Entry& e) { return e.resources == resources && e.stream == stream && e.name == name; };
    auto it = std::find_if(m_entries.begin(), m_entries.end(), same);
    if (it == m_entries.end()) it = m_entries.insert(m_entries.end(), Entry{resources, stream, name, {}});
    for (const Element::Shown& s : shown) it->shown.emplace_back(s.bytes.begin(), s.bytes.end());
}

namespace {

// The font dictionary of the resources an entry's text is drawn with, made when missing; null
// when there are none to define the name in.
Obj* FontsFor(const MissingFonts::Entry& e)
{
    Obj* res = e.resources;
    // A form that draws with its caller's resources gets its own, so the name is defined
    // wherever the form is drawn.
    if (!res && FindName(e.stream, "Subtype") == "Form") {
        res = FindDict(e.stream, "Resources");
        if (!res) res = e.stream->PutDict("Resources");
    }
    if (!res) return nullptr;
    Obj* fonts = FindDict(res, "Font");
    return fonts ? fonts : res->PutDict("Font");
}

// A font name that none of the font dictionaries holds.
std::string FreeFontName(const std::vector<Obj*>& fonts)
{
    for (int i = 0;; ++i) {
        std::string name = "FNone" + std::to_string(i);
        if (std::none_of(fonts.begin(), fonts.end(), [&](Obj* f) { return f->FindObj(name); })) return name;
    }
}

}  // namespace

void DefineMissingFonts(PassContext& ctx)
{
    Obj* root = FindDict(ctx.doc.GetTrailer(), "Root");
    Obj* form_fonts = FindDict(FindDict(FindDict(root, "AcroForm"), "DR"), "Font");
    Obj* helvetica = nullptr;
    // Text with no font set, or under the empty name that some readers drop from
    // dictionaries, takes a name of its own in each stream, free in every resource
    // dictionary that stream is drawn with.
    std::map<Obj*, std::vector<Obj*>> unnamed;
    for (const MissingFonts::Entry& e : ctx.caches.Get<MissingFonts>().Entries())
        if (e.name.empty())
            if (Obj* fonts = FontsFor(e)) unnamed[e.stream].push_back(fonts);
    for (const auto& [stream, fonts] : unnamed) ctx.caches.Get<StreamsToClean>()[stream].font_name = FreeFontName(fonts);
    for (const MissingFonts::Entry& e : ctx.caches.Get<MissingFonts>().Entries()) {
        Obj* fonts = FontsFor(e);
        if (!fonts) continue;
        const std::string name = e.name.empty() ? ctx.caches.Get<StreamsToClean>()[e.stream].font_name : e.name;
        // The form's own font object, so the copy holds one font where the name was one.
        Obj* dict = form_fonts ? form_fonts->FindObj(e.name) : nullptr;
        if (!Deref(dict) || !Deref(dict)->IsDict()) {
            if (!helvetica) {
                helvetica = ctx.doc.CreateIndirectDict();
                helvetica->PutName("Type", "Font");
                helvetica->PutName("Subtype", "Type1");
                helvetica->PutName("BaseFont", "Helvetica");
                helvetica->PutName("Encoding", "WinAnsiEncoding");
            }
            dict = helvetica;
        }
        fonts->Put(name, dict);
        auto font = Font::Create(Deref(dict));
        if (font->GetKind() == Font::e_type3 || font->GetEmbeddedStream()) continue;
        auto& marked = ctx.caches.Get<FontReplacements>();
        marked.Mark(font);
        std::vector<Font::CharCode> codes;
        for (const Common::Bytes& bytes : e.shown) {
            font->Decode(bytes, codes);
            for (const Font::CharCode& c : codes) marked.AddCode(*font, c);
        }
    }
}

}  // namespace qvx::PDF
