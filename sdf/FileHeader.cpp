#include "sdf/FileHeader.h"

#include <algorithm>

#include "sdf/CharClass.h"

namespace qvx::SDF {

std::optional<FileHeader> FindFileHeader(Common::ByteView data, std::size_t window)
{
    const std::size_t n = std::min(window, data.size());
    auto is_letter = [](int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    auto run = [&](std::size_t p, auto pred) {
        while (p < n && pred(data[p])) ++p;
        return p;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (data[i] != '%') continue;
        std::size_t p = run(i + 1, is_letter);
        if (p == i + 1 || p >= n || data[p] != '-') continue;
        std::size_t q = run(p + 1, CharClass::IsDigit);
        if (q == p + 1 || q >= n || data[q] != '.') continue;
        std::size_t r = run(q + 1, CharClass::IsDigit);
        if (r == q + 1) continue;
        if (r - i > 30) return std::nullopt;
        return FileHeader{i, std::string(reinterpret_cast<const char*>(data.data()) + i, r - i)};
    }
    return std::nullopt;
}

}  // namespace qvx::SDF
