// Arbitrary bytes as a document's XMP packet: the PDF/A checks at every part in both
// modes, the conversion packet written from what they hand over, and the PDF/UA checks and
// update. Findings are expected; a crash, a hang or an escaped exception is not.
#include <cstdint>
#include <string_view>

#include "pdf/compliance/XmpValidation.h"
#include "pdf/compliance/XmpWriter.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view packet(reinterpret_cast<const char*>(data), size);
    // One level per PDF/A part, and conversion mode at the level the size picks.
    for (int level : {2, 4, 9, 11}) {
        SDF::CheckState state;
        state.level = level;
        state.is_pdfa = true;
        state.convert = (size % 4) == static_cast<std::size_t>(level % 4);
        PDF::XmpCheckContext ctx{state, 1};
        PDF::DocInfoValues values;
        values.has_title = values.has_author = values.has_mod_date = true;
        values.title = Common::UString::FromUTF8("t");
        PDF::XmpMetaHolder holder;
        PDF::ValidateXmpPacket(ctx, packet, values, &holder);
        if (state.convert) PDF::WriteXmpPacket(level, values, holder);
    }
    SDF::CheckState ua;
    ua.level = 12;
    ua.is_pdfua = true;
    PDF::XmpCheckContext ctx{ua, 1};
    PDF::XmpUAResult found = PDF::ValidateXmpPacketUA(ctx, packet);
    PDF::WriteXmpPacketUA(packet, found.title);
    return 0;
}
