// Composite fonts: the CMap, the CIDFont's widths and its CID to glyph mapping.
#include <algorithm>
#include <cmath>

#include "common/Limits.h"
#include "pdf/Font.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

using SDF::Obj;

void Font::ReadComposite()
{
    Obj* d = mp_dict->Resolve();
    if (Obj* descs = FindArray(d, "DescendantFonts"); descs && descs->Size() > 0) {
        Obj* desc = Deref(descs->GetAt(0));
        if (desc && desc->IsDict()) {
            mp_desc = desc;
            m_desc_kind = std::string_view(FindName(desc, "Subtype")) == "CIDFontType2" ? e_cid_type2
                          : std::string_view(FindName(desc, "Subtype")) == "CIDFontType0" ? e_cid_type0
                                                                                           : e_unknown;
            ReadDescriptor(FindDict(desc, "FontDescriptor"));
            m_cid_info = CMap::ReadSystemInfo(desc);
        }
    }
    mp_encoding = FindIn(d, "Encoding");
    mp_cmap = CMap::FromObj(mp_encoding);
    if (m_cid_info.present && m_cid_info.registry == "Adobe" && !m_cid_info.ordering.empty() &&
        m_cid_info.ordering != "Identity") {
        mp_collection = CIDToUnicode::ForCollection("Adobe-" + m_cid_info.ordering);
    }
    ReadCompositeWidths();
}

namespace {

// The entries of a W or W2 array, each CID range with its per values:
// "c [v...]" lists values for c, c+1...; "first last v" gives one set for a range.
template <class F>
void ReadCIDRanges(Obj* arr, std::size_t per, F&& add)
{
    auto num = [](Obj* o, double& v) {
        if (!o || !o->IsNumber() || !std::isfinite(o->GetNumber())) return false;
        v = o->GetNumber();
        return true;
    };
    double v[3] = {};
    for (std::size_t i = 0, n = arr->Size(); i < n;) {
        double first;
        if (!num(Deref(arr->GetAt(i)), first) || first < 0 || first > 0xFFFFFFFFu) break;
        if (i + 1 >= n) break;
        Obj* next = Deref(arr->GetAt(i + 1));
        if (next && next->IsArray()) {
            auto c = static_cast<std::uint32_t>(first);
            for (std::size_t k = 0, m = next->Size(); k + per <= m; k += per) {
                bool ok = true;
                for (std::size_t j = 0; j < per; ++j) ok = ok && num(Deref(next->GetAt(k + j)), v[j]);
                auto cid = c + static_cast<std::uint32_t>(k / per);
                if (ok) add(cid, cid, v);
            }
            i += 2;
        } else {
            double last;
            if (i + 1 + per >= n || !num(next, last) || last < first || last > 0xFFFFFFFFu) break;
            bool ok = true;
            for (std::size_t j = 0; j < per; ++j) ok = ok && num(Deref(arr->GetAt(i + 2 + j)), v[j]);
            if (!ok) break;
            add(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last), v);
            i += 2 + per;
        }
    }
}

}  // namespace

void Font::ReadCompositeWidths()
{
    if (!mp_desc) return;
    m_dw = FindNumber(mp_desc, "DW", 1000);
    if (Obj* dw2 = FindArray(mp_desc, "DW2")) {
        m_dw2_vy = NumberAt(dw2, 0, m_dw2_vy);
        m_dw2_w1 = NumberAt(dw2, 1, m_dw2_w1);
    }
    if (Obj* w = FindArray(mp_desc, "W")) {
        ReadCIDRanges(w, 1, [this](std::uint32_t first, std::uint32_t last, const double* v) { m_w.push_back({first, last, v[0]}); });
        std::stable_sort(m_w.begin(), m_w.end(), [](const WRange& a, const WRange& b) { return a.first < b.first; });
    }
    if (Obj* w2 = FindArray(mp_desc, "W2")) {
        ReadCIDRanges(w2, 3, [this](std::uint32_t first, std::uint32_t last, const double* v) {
            m_w2.push_back({first, last, v[0], v[1], v[2]});
        });
        std::stable_sort(m_w2.begin(), m_w2.end(), [](const VRange& a, const VRange& b) { return a.first < b.first; });
    }
}

void Font::GetVerticalMetrics(const CharCode& c, double& w1, double& vx, double& vy) const
{
    w1 = m_dw2_w1, vx = GetWidth(c) / 2, vy = m_dw2_vy;
    if (m_kind != e_type0) return;
    auto it = std::upper_bound(m_w2.begin(), m_w2.end(), c.cid, [](std::uint32_t v, const VRange& r) { return v < r.first; });
    if (it != m_w2.begin() && c.cid <= std::prev(it)->last) w1 = std::prev(it)->w1, vx = std::prev(it)->vx, vy = std::prev(it)->vy;
}

SDF::Obj* Font::GetCIDToGIDMapObj() const { return mp_desc ? FindIn(mp_desc, "CIDToGIDMap") : nullptr; }

const std::vector<std::uint16_t>* Font::GetCIDToGIDTable() const
{
    if (!m_cid_to_gid_read) {
        m_cid_to_gid_read = true;
        Obj* map = GetCIDToGIDMapObj();
        // Two bytes per CID, at most 65536 CIDs.
        if (auto data = map && map->IsStream() ? ReadDecoded(map, 2u * 65536) : std::nullopt) {
            m_cid_to_gid.emplace(data->size() / 2);
            for (std::size_t i = 0; i < m_cid_to_gid->size(); ++i)
                (*m_cid_to_gid)[i] = static_cast<std::uint16_t>(((*data)[2 * i] << 8) | (*data)[2 * i + 1]);
        }
    }
    return m_cid_to_gid ? &*m_cid_to_gid : nullptr;
}

std::uint32_t Font::MappedGlyph(std::uint32_t cid) const
{
    Obj* map = GetCIDToGIDMapObj();
    if (!map || !map->IsStream()) return cid;
    const std::vector<std::uint16_t>* table = GetCIDToGIDTable();
    return table && cid < table->size() ? (*table)[cid] : 0;
}

long Font::CompositeGlyph(std::uint32_t cid) const
{
    const FontProgram* p = GetProgram();
    if (!p) return -1;
    Obj* map = GetCIDToGIDMapObj();
    // A CIDFontType0 whose program numbers glyphs by index rather than by CID (an OpenType
    // font) takes the CIDToGIDMap it comes with, as TrueType-based ones do.
    if (m_desc_kind == e_cid_type2 || (map && map->IsStream() && !p->IsCIDKeyed())) {
        if (map && map->IsStream()) return MappedGlyph(cid);
        return cid < static_cast<std::uint32_t>(p->GlyphCount()) ? cid : 0;
    }
    unsigned g = p->GlyphByCID(cid);
    return g < static_cast<unsigned>(p->GlyphCount()) ? g : 0;
}

}  // namespace qvx::PDF
