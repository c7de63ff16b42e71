#include "pdf/GlyphList.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "pdf/GlyphListData.h"

namespace qvx::PDF::GlyphList {

using GlyphListData::Entry;

namespace {

const Entry* Lookup(std::string_view name)
{
    const Entry* begin = GlyphListData::kEntries;
    const Entry* end = begin + GlyphListData::kCount;
    const Entry* it = std::lower_bound(begin, end, name, [](const Entry& e, std::string_view n) {
        return std::string_view(e.name) < n;
    });
    return it != end && std::string_view(it->name) == name ? it : nullptr;
}

int Hex(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the forms require upper-case digits
}

// n upper-case hex digits; -1 when one is not.
long HexRun(std::string_view s)
{
    long v = 0;
    for (char c : s) {
        int h = Hex(c);
        if (h < 0) return -1;
        v = v * 16 + h;
    }
    return v;
}

bool Scalar(long v) { return v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF); }

// One component of a ligature name.
std::u32string Component(std::string_view c)
{
    if (const Entry* e = Lookup(c)) {
        std::u32string out;
        for (char32_t cp : e->cps) {
            if (!cp) break;
            out += cp;
        }
        return out;
    }
    if (c.size() >= 7 && c.substr(0, 3) == "uni" && (c.size() - 3) % 4 == 0) {
        std::u32string out;
        for (std::size_t i = 3; i < c.size(); i += 4) {
            long v = HexRun(c.substr(i, 4));
            if (!Scalar(v)) return {};
            out += static_cast<char32_t>(v);
        }
        return out;
    }
    if (c.size() >= 5 && c.size() <= 7 && c[0] == 'u') {
        long v = HexRun(c.substr(1));
        if (Scalar(v)) return std::u32string(1, static_cast<char32_t>(v));
    }
    return {};
}

}  // namespace

std::u32string ToUnicode(std::string_view name)
{
    if (std::size_t dot = name.find('.'); dot != std::string_view::npos) name = name.substr(0, dot);
    std::u32string out;
    while (!name.empty()) {
        std::size_t us = name.find('_');
        out += Component(name.substr(0, us));
        if (us == std::string_view::npos) break;
        name.remove_prefix(us + 1);
    }
    return out;
}

bool IsListed(std::string_view name) { return Lookup(name) != nullptr; }

std::string_view NameFor(char32_t cp)
{
    static std::once_flag once;
    static std::unordered_map<char32_t, const char*> by_cp;
    std::call_once(once, [] {
        for (std::size_t i = 0; i < GlyphListData::kCount; ++i) {
            const Entry& e = GlyphListData::kEntries[i];
            if (e.cps[1] == 0) by_cp.emplace(e.cps[0], e.name);
        }
    });
    auto it = by_cp.find(cp);
    return it == by_cp.end() ? std::string_view() : std::string_view(it->second);
}

}  // namespace qvx::PDF::GlyphList
