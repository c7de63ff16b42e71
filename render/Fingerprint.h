#pragma once
// What a drawing reads, as text: an object graph written out with object numbers replaced
// by the order of first visit and stream data by its digest. Two graphs with the same text
// draw the same, whatever their object numbers, so two versions of a document can tell
// which pages (or images) need drawing again. Back links (Parent, P) and entries that never
// reach the look are left out, so that conversion's other work (metadata, actions,
// structure, halftones) does not count as a change.
//
//     Render::Fingerprint f(nullptr);
//     if (f.Add(page_dict) && f.Add(resources)) compare(f.Text());

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/Buffer.h"
#include "sdf/Obj.h"

namespace qvx::Render {

class Fingerprint {
public:
    // What is learned of streams, kept across the fingerprints of a document's pages so
    // that a stream the pages share (a font program, a logo) is read once: the digests of
    // their data, and whether they hold bytes the renderer draws with anyway (the CMYK
    // profile below, a standard font's program).
    struct Memo {
        std::unordered_map<const SDF::Obj*, std::string> digests;
        std::unordered_map<const SDF::Obj*, bool> same;
    };

    // cmyk: a profile that draws as DeviceCMYK is drawn anyway (null: none); a DefaultCMYK
    // space made of it is left out.
    explicit Fingerprint(const Common::Bytes* cmyk, Memo* memo = nullptr) : mp_cmyk(cmyk), mp_memo(memo) {}

    // False when the graph is too large or too deep to write out.
    bool Add(SDF::Obj* obj, int depth = 0);
    // A number as a saved copy writes it, so that a number the save rounded still matches.
    bool Number(double v);
    bool Put(std::string_view text)
    {
        m_text += text;
        return true;
    }

    const std::string& Text() const { return m_text; }

private:
    bool Entries(SDF::Obj* dict, int depth);
    bool StandardFont(SDF::Obj* dict, int depth);
    bool Data(const SDF::Obj& stream);
    bool SameAsIntent(SDF::Obj* space) const;
    // Whether the stream's decoded data are these bytes.
    bool SameBytes(SDF::Obj* stream, const Common::Bytes& bytes) const;

    const Common::Bytes* mp_cmyk;
    Memo* mp_memo;
    std::unordered_map<const SDF::Obj*, std::size_t> m_seen;
    std::string m_text;
    std::size_t m_objects = 0;
};

}  // namespace qvx::Render
