#include "pdf/CMap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "common/Limits.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "sdf/Obj.h"

namespace qvx::PDF {

namespace fs = std::filesystem;

namespace {

// Where Debian's poppler-data installs the Adobe CMaps and CID-to-Unicode tables.
constexpr const char* kCMapDir = "/usr/share/poppler/cMap";
constexpr const char* kCidToUnicodeDir = "/usr/share/poppler/cidToUnicode";

// Predefined CMap name -> file, found once.
const std::map<std::string, fs::path, std::less<>>& PredefinedFiles()
{
    static std::once_flag once;
    static std::map<std::string, fs::path, std::less<>> files;
    std::call_once(once, [] {
        std::error_code ec;
        for (const auto& coll : fs::directory_iterator(kCMapDir, ec)) {
            std::error_code ec2;
            for (const auto& f : fs::directory_iterator(coll.path(), ec2)) {
                files.emplace(f.path().filename().string(), f.path());
            }
        }
    });
    return files;
}

std::optional<Common::Bytes> ReadFileBytes(const fs::path& p)
{
    std::error_code ec;
    auto size = fs::file_size(p, ec);
    if (ec || size > Common::Limits::kMaxCMapBytes) return std::nullopt;
    std::ifstream in(p, std::ios::binary);
    Common::Bytes data(size);
    if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size))) return std::nullopt;
    return data;
}

std::shared_ptr<const CMap> Identity(bool vertical)
{
    static const std::string h = "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def "
                                 "/CMapName /Identity-H def 1 begincodespacerange <0000> <FFFF> endcodespacerange "
                                 "1 begincidrange <0000> <FFFF> 0 endcidrange";
    std::string text = h;
    if (vertical) text.replace(text.find("Identity-H"), 10, "Identity-V /WMode 1 def");
    auto cmap = std::const_pointer_cast<CMap>(CMap::Parse(Common::AsBytes(text)));
    return cmap;
}

}  // namespace

bool CMap::IsPredefinedName(std::string_view name)
{
    if (name == "Identity-H" || name == "Identity-V") return true;
    const auto& files = PredefinedFiles();
    return files.find(name) != files.end();
}

std::shared_ptr<const CMap> CMap::Predefined(std::string_view name, int depth)
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const CMap>, std::less<>> cache;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (auto it = cache.find(name); it != cache.end()) return it->second;
    }
    std::shared_ptr<const CMap> cmap;
    if (name == "Identity-H" || name == "Identity-V") {
        cmap = Identity(name == "Identity-V");
    } else if (depth <= Common::Limits::kMaxCMapChain) {
        const auto& files = PredefinedFiles();
        auto it = files.find(name);
        if (it == files.end()) return nullptr;
        auto data = ReadFileBytes(it->second);
        if (!data) return nullptr;
        cmap = Parse(*data, depth);
    }
    if (!cmap) return nullptr;
    auto mut = std::const_pointer_cast<CMap>(cmap);
    mut->m_predefined = true;
    mut->m_identity = name == "Identity-H" || name == "Identity-V";
    if (mut->m_name.empty()) mut->m_name = std::string(name);
    std::lock_guard<std::mutex> lock(mutex);
    return cache.emplace(std::string(name), cmap).first->second;
}

CMap::SystemInfo CMap::ReadSystemInfo(SDF::Obj* dict)
{
    CMap::SystemInfo info;
    SDF::Obj* si = FindDict(dict, "CIDSystemInfo");
    if (!si) return info;
    info.present = true;
    auto text = [&](std::string_view key) {
        SDF::Obj* v = FindIn(si, key);
        return v && v->IsString() ? std::string(Common::AsChars(v->GetBuffer())) : std::string();
    };
    info.registry = text("Registry");
    info.ordering = text("Ordering");
    double sup = FindNumber(si, "Supplement", -1);
    info.supplement = std::isfinite(sup) && sup >= 0 && sup < 1e6 ? static_cast<int>(sup) : -1;
    return info;
}

std::shared_ptr<const CMap> CMap::FromObj(SDF::Obj* obj)
{
    SDF::Obj* o = Deref(obj);
    if (!o) return nullptr;
    if (o->IsName()) return Predefined(o->GetName());
    if (!o->IsStream()) return nullptr;
    auto data = ReadDecoded(o, Common::Limits::kMaxCMapBytes);
    if (!data) return nullptr;
    auto cmap = std::const_pointer_cast<CMap>(Parse(*data));
    // Its dictionary describes the collection when the program does not.
    if (!cmap->m_info.present) cmap->m_info = ReadSystemInfo(o);
    // An embedded CMap may name its parent in the dictionary rather than the program.
    if (!cmap->mp_use) {
        if (SDF::Obj* use = FindIn(o, "UseCMap"); use && use->IsName()) {
            cmap->m_use = std::string(use->GetName());
            cmap->mp_use = Predefined(use->GetName(), 1);
            cmap->Finish();
        }
    }
    return cmap;
}

CMap::Code CMap::Next(Common::ByteView s, std::size_t& pos) const
{
    Code c;
    std::size_t left = s.size() - pos;
    if (left == 0) return c;
    // Full match of a codespace range, shortest first.
    for (int n = 1; n <= 4 && static_cast<std::size_t>(n) <= left; ++n) {
        for (const Space& sp : m_space) {
            if (sp.nbytes != n) continue;
            bool in = true;
            for (int i = 0; i < n && in; ++i) in = s[pos + i] >= sp.lo[i] && s[pos + i] <= sp.hi[i];
            if (in) {
                c.nbytes = n;
                for (int i = 0; i < n; ++i) c.code = (c.code << 8) | s[pos + i];
                pos += n;
                return c;
            }
        }
    }
    // No match: take as many bytes as the shortest range whose first byte fits, else the
    // shortest range, else one.
    int take = 0, shortest = 0;
    for (const Space& sp : m_space) {
        if (!shortest || sp.nbytes < shortest) shortest = sp.nbytes;
        if (s[pos] >= sp.lo[0] && s[pos] <= sp.hi[0] && (!take || sp.nbytes < take)) take = sp.nbytes;
    }
    if (!take) take = shortest ? shortest : 1;
    take = static_cast<int>(std::min<std::size_t>(take, left));
    c.nbytes = take;
    for (int i = 0; i < take; ++i) c.code = (c.code << 8) | s[pos + i];
    pos += take;
    return c;
}

const CMap::Range* CMap::FindRange(const std::vector<Range>& v, std::uint32_t code, int nbytes) const
{
    // Ranges are sorted by (nbytes, lo); the candidate is the last one starting at or before code.
    auto it = std::upper_bound(v.begin(), v.end(), std::make_pair(nbytes, code), [](const auto& key, const Range& r) {
        return key.first != r.nbytes ? key.first < r.nbytes : key.second < r.lo;
    });
    // Overlapping ranges are rare; look back a little for one that holds the code.
    for (int k = 0; k < 8 && it != v.begin(); ++k) {
        --it;
        if (it->nbytes != nbytes) break;
        if (code >= it->lo && code <= it->hi) return &*it;
    }
    return nullptr;
}

std::uint32_t CMap::CID(Code c) const
{
    if (const Range* r = FindRange(m_cid, c.code, c.nbytes)) return r->value + (c.code - r->lo);
    if (mp_use) {
        std::uint32_t cid = mp_use->CID(c);
        if (cid) return cid;
    }
    if (const Range* r = FindRange(m_notdef, c.code, c.nbytes)) return r->value;
    return 0;
}

bool CMap::ToUnicode(std::uint32_t code, std::u16string& out) const
{
    auto it = std::upper_bound(m_uni.begin(), m_uni.end(), code, [](std::uint32_t v, const UniRange& r) { return v < r.lo; });
    for (int k = 0; k < 8 && it != m_uni.begin(); ++k) {
        --it;
        if (code >= it->lo && code <= it->hi) {
            out = it->base;
            if (!out.empty()) out.back() = static_cast<char16_t>(out.back() + (code - it->lo));
            return true;
        }
    }
    return mp_use && mp_use->ToUnicode(code, out);
}

std::shared_ptr<const CIDToUnicode> CIDToUnicode::ForCollection(std::string_view collection)
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const CIDToUnicode>, std::less<>> cache;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = cache.find(collection); it != cache.end()) return it->second;
    std::shared_ptr<CIDToUnicode> table;
    if (collection.find('/') == std::string_view::npos && collection.find("..") == std::string_view::npos) {
        if (auto data = ReadFileBytes(fs::path(kCidToUnicodeDir) / std::string(collection))) {
            table = std::make_shared<CIDToUnicode>();
            std::uint32_t v = 0;
            bool any = false;
            for (Common::Byte b : *data) {
                int h = b >= '0' && b <= '9' ? b - '0' : b >= 'a' && b <= 'f' ? b - 'a' + 10 : b >= 'A' && b <= 'F' ? b - 'A' + 10 : -1;
                if (h >= 0) {
                    v = (v << 4) | static_cast<std::uint32_t>(h);
                    any = true;
                } else if (b == '\n') {
                    table->m_map.push_back(any ? v : 0);
                    v = 0;
                    any = false;
                }
            }
        }
    }
    cache.emplace(std::string(collection), table);
    return table;
}

std::string WriteToUnicodeCMap(const std::map<unsigned, std::u16string>& texts, int code_bytes)
{
    // bfchar blocks hold at most 100 entries.
    constexpr std::size_t kBfCharBlock = 100;
    const int digits = code_bytes == 2 ? 4 : 2;
    auto hex = [](unsigned v, int width) {
        char buf[12];
        std::snprintf(buf, sizeof buf, "%0*X", width, v);
        return std::string(buf);
    };
    std::string s =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<" + hex(0, digits) + "> <" + std::string(digits, 'F') + ">\nendcodespacerange\n";
    auto it = texts.begin();
    while (it != texts.end()) {
        std::size_t n = std::min<std::size_t>(kBfCharBlock, static_cast<std::size_t>(std::distance(it, texts.end())));
        s += std::to_string(n) + " beginbfchar\n";
        for (std::size_t i = 0; i < n; ++i, ++it) {
            s += "<" + hex(it->first, digits) + "> <";
            for (char16_t u : it->second) s += hex(u, 4);
            s += ">\n";
        }
        s += "endbfchar\n";
    }
    return s + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

}  // namespace qvx::PDF
