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

namespace {

CMap::SystemInfo ReadSystemInfo(Obj* dict)
{
    CMap::SystemInfo info;
    Obj* si = FindDict(dict, "CIDSystemInfo");
    if (!si) return info;
    info.present = true;
    auto text = [&](std::string_view key) {
        Obj* v = FindIn(si, key);
        return v && v->IsString() ? std::string(Common::AsChars(v->GetBuffer())) : std::string();
    };
    info.registry = text("Registry");
    info.ordering = text("Ordering");
    double sup = FindNumber(si, "Supplement", -1);
    info.supplement = std::isfinite(sup) && sup >= 0 && sup < 1e6 ? static_cast<int>(sup) : -1;
    return info;
}

}  // namespace

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
            m_cid_info = ReadSystemInfo(desc);
            mp_cid_to_gid = FindIn(desc, "CIDToGIDMap");
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

void Font::ReadCompositeWidths()
{
    if (!mp_desc) return;
    m_dw = FindNumber(mp_desc, "DW", 1000);
    Obj* w = FindArray(mp_desc, "W");
    if (!w) return;
    auto num = [](Obj* o, double& v) {
        if (!o || !o->IsNumber() || !std::isfinite(o->GetNumber())) return false;
        v = o->GetNumber();
        return true;
    };
    for (std::size_t i = 0, n = w->Size(); i < n;) {
        double first;
        if (!num(Deref(w->GetAt(i)), first) || first < 0 || first > 0xFFFFFFFFu) break;
        if (i + 1 >= n) break;
        Obj* next = Deref(w->GetAt(i + 1));
        if (next && next->IsArray()) {
            auto c = static_cast<std::uint32_t>(first);
            for (std::size_t k = 0, m = next->Size(); k < m; ++k) {
                double v;
                if (num(Deref(next->GetAt(k)), v)) m_w.push_back({c + static_cast<std::uint32_t>(k), c + static_cast<std::uint32_t>(k), v});
            }
            i += 2;
        } else {
            double last, v;
            if (i + 2 >= n || !num(next, last) || !num(Deref(w->GetAt(i + 2)), v) || last < first || last > 0xFFFFFFFFu) break;
            m_w.push_back({static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last), v});
            i += 3;
        }
    }
    std::stable_sort(m_w.begin(), m_w.end(), [](const WRange& a, const WRange& b) { return a.first < b.first; });
}

long Font::CompositeGlyph(std::uint32_t cid) const
{
    const FontProgram* p = GetProgram();
    if (!p) return -1;
    if (m_desc_kind == e_cid_type2) {
        Obj* map = mp_cid_to_gid ? mp_cid_to_gid->Resolve() : nullptr;
        if (map && map->IsStream()) {
            if (!m_cid_to_gid_read) {
                m_cid_to_gid_read = true;
                // Two bytes per CID, at most 65536 CIDs.
                if (auto data = ReadDecoded(map, 2u * 65536)) {
                    m_cid_to_gid.resize(data->size() / 2);
                    for (std::size_t i = 0; i < m_cid_to_gid.size(); ++i) {
                        m_cid_to_gid[i] = static_cast<std::uint16_t>(((*data)[2 * i] << 8) | (*data)[2 * i + 1]);
                    }
                }
            }
            return cid < m_cid_to_gid.size() ? m_cid_to_gid[cid] : 0;
        }
        return cid < static_cast<std::uint32_t>(p->GlyphCount()) ? cid : 0;
    }
    unsigned g = p->GlyphByCID(cid);
    return g < static_cast<unsigned>(p->GlyphCount()) ? g : 0;
}

}  // namespace qvx::PDF
