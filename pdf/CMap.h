#pragma once
// A CMap: the codespace that splits a shown string into character codes, the mapping of
// codes to CIDs (encoding CMaps) and to Unicode (ToUnicode CMaps), and its header values.
// Predefined CMaps are read from the poppler-data CMap files and shared process-wide.
//
//     auto cmap = CMap::FromObj(font_dict->FindObj("Encoding"));
//     std::size_t pos = 0;
//     while (pos < s.size()) { CMap::Code c = cmap->Next(s, pos); cid = cmap->CID(c); }

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Buffer.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class CMap {
public:
    struct Code {
        std::uint32_t code = 0;
        int nbytes = 1;
    };
    struct SystemInfo {
        std::string registry, ordering;
        int supplement = -1;  // -1: not given
        bool present = false;
    };

    // Reads a CMap program. resolve_usecmap: follow usecmap to predefined CMaps.
    static std::shared_ptr<const CMap> Parse(Common::ByteView data, int depth = 0);
    // A predefined CMap by name (Identity-H and Identity-V built in), or null.
    static std::shared_ptr<const CMap> Predefined(std::string_view name, int depth = 0);
    // A name (predefined) or stream (embedded) Encoding; null when neither can be read.
    static std::shared_ptr<const CMap> FromObj(SDF::Obj* obj);
    // The CIDSystemInfo entry of a font or CMap dictionary (not present when missing).
    static SystemInfo ReadSystemInfo(SDF::Obj* dict);
    // Whether a predefined CMap of that name exists.
    static bool IsPredefinedName(std::string_view name);

    // The next code of s at pos (pos advances; at least one byte is taken).
    Code Next(Common::ByteView s, std::size_t& pos) const;
    // The CID of a code, 0 when unmapped.
    std::uint32_t CID(Code c) const;
    // The Unicode text of a code (UTF-16), false when unmapped. The byte length is not
    // compared: ToUnicode CMaps often declare a codespace unlike the font's.
    bool ToUnicode(std::uint32_t code, std::u16string& out) const;
    bool HasUnicode() const { return !m_uni.empty(); }

    const std::string& GetName() const { return m_name; }
    const std::string& GetUseCMap() const { return m_use; }
    int GetWMode() const { return m_wmode; }
    bool HasWMode() const { return m_has_wmode; }
    const SystemInfo& GetSystemInfo() const { return m_info; }
    bool IsIdentity() const { return m_identity; }
    bool IsPredefined() const { return m_predefined; }
    // The largest CID any range or single mapping reaches.
    std::uint64_t MaxCID() const { return m_max_cid; }
    bool HasCodespace() const { return !m_space.empty(); }

private:
    friend class CMapParser;
    struct Space {
        int nbytes;
        std::uint8_t lo[4], hi[4];
    };
    struct Range {
        std::uint32_t lo, hi;
        std::uint8_t nbytes;
        std::uint32_t value;  // CID of lo
    };
    struct UniRange {
        std::uint32_t lo, hi;
        std::u16string base;  // text of lo; later codes add to its last unit
    };
    void Finish();
    const Range* FindRange(const std::vector<Range>& v, std::uint32_t code, int nbytes) const;

    std::vector<Space> m_space;
    std::vector<Range> m_cid;       // cidrange and cidchar
    std::vector<Range> m_notdef;    // notdefrange and notdefchar
    std::vector<UniRange> m_uni;    // bfrange and bfchar
    std::shared_ptr<const CMap> mp_use;
    std::string m_name, m_use;
    SystemInfo m_info;
    int m_wmode = 0;
    bool m_has_wmode = false;
    bool m_identity = false;
    bool m_predefined = false;
    std::uint64_t m_max_cid = 0;
};

// CID to Unicode for the Adobe character collections (poppler-data cidToUnicode), used
// for composite fonts that have no ToUnicode.
class CIDToUnicode {
public:
    // The table of "Registry-Ordering" (e.g. Adobe-Japan1), or null.
    static std::shared_ptr<const CIDToUnicode> ForCollection(std::string_view collection);
    char32_t Map(std::uint32_t cid) const { return cid < m_map.size() ? m_map[cid] : 0; }

private:
    std::vector<char32_t> m_map;
};

// The text of a ToUnicode CMap that maps codes of code_bytes bytes (1 or 2) to texts.
std::string WriteToUnicodeCMap(const std::map<unsigned, std::u16string>& texts, int code_bytes);

}  // namespace qvx::PDF
