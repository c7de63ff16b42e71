// Str as a PDF text string (ISO 32000-2, 7.9.2.2): UTF-16BE or UTF-8 after their byte
// order marks, otherwise PDFDocEncoding.
#include "sdf/Obj.h"
#include "sdf/PDFDocEncoding.h"

namespace qvx::SDF {

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
