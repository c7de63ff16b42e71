#include "sdf/PDFDocEncoding.h"

#include "common/UString.h"

namespace qvx::SDF {

namespace {

// PDFDocEncoding bytes that differ from ISO 8859-1 (0x18-0x1F and 0x80-0xA0).
constexpr char16_t kLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char16_t kHigh[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F, 0x20AC};

}  // namespace

char16_t FromPDFDoc(unsigned char c)
{
    if (c >= 0x18 && c <= 0x1F) return kLow[c - 0x18];
    if (c >= 0x80 && c <= 0xA0) return kHigh[c - 0x80];
    return c;
}

std::optional<std::string> UTF8ToPDFDoc(std::string_view utf8)
{
    if (!Common::IsValidUTF8(utf8)) return std::nullopt;
    std::string out;
    Common::UString text = Common::UString::FromUTF8(utf8);
    for (char16_t u : text.Units()) {
        int found = -1;
        for (int b = 0; b < 256 && found < 0; ++b)
            if (FromPDFDoc(static_cast<unsigned char>(b)) == u) found = b;
        if (found < 0) return std::nullopt;
        out += static_cast<char>(found);
    }
    return out;
}

std::string PDFDocToUTF8(Common::ByteView bytes)
{
    std::string out;
    for (unsigned char c : bytes) Common::AppendUTF8(out, FromPDFDoc(c));
    return out;
}

}  // namespace qvx::SDF
