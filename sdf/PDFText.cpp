// Str as a PDF text string (ISO 32000-2, 7.9.2.2): UTF-16BE or UTF-8 after their byte
// order marks, otherwise PDFDocEncoding.
#include "sdf/Obj.h"

namespace qvx::SDF {

namespace {

// PDFDocEncoding bytes that differ from ISO 8859-1 (0x18-0x1F and 0x80-0xA0).
constexpr char16_t kLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char16_t kHigh[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F, 0x20AC};

char16_t FromPDFDoc(unsigned char c)
{
    if (c >= 0x18 && c <= 0x1F) return kLow[c - 0x18];
    if (c >= 0x80 && c <= 0xA0) return kHigh[c - 0x80];
    return c;
}

}  // namespace

Common::UString Obj::GetAsPDFText() const
{
    Common::ByteView b = GetBuffer();
    if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        std::u16string u;
        u.reserve(b.size() / 2);
        for (std::size_t i = 2; i + 1 < b.size(); i += 2) u += static_cast<char16_t>((b[i] << 8) | b[i + 1]);
        return Common::UString(std::move(u));
    }
    if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return Common::UString::FromUTF8(Common::AsChars(b.subspan(3)));
    std::u16string u;
    u.reserve(b.size());
    for (unsigned char c : b) u += FromPDFDoc(c);
    return Common::UString(std::move(u));
}

}  // namespace qvx::SDF
