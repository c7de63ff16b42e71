#pragma once
// The XMP packet a conversion writes: the Info values, agreeing dates, and the
// identification of the target level, serialised by the toolkit with "Lumbra" as the
// toolkit name.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/UString.h"
#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// Every code unit in U+0001..U+0020, U+00A0, U+2000..U+200F, U+2028..U+202F and
// U+206A..U+206F becomes a space.
void CleanXmpText(Common::UString& text);

// Starts from the holder's object when there is one (the packet passed the structural
// checks, so its other properties stay), else from an empty one; sets the dates, title,
// author, subject, keywords, creator tool, producer and the identification of level, and
// serialises. values.title and values.subject are cleaned in place, and the code units XML
// cannot hold (U+0000, other controls but tab and line ends, U+FFFE, U+FFFF) are left out of
// all six texts, so that the Info dictionary written from them says what the packet says.
// A toolkit failure on the holder's object starts over from an empty one; returns empty
// when that fails too.
std::string WriteXmpPacket(std::int32_t level, DocInfoValues& values, const XmpMetaHolder& holder);

// PDF/UA: keeps the properties of the existing packet (empty when there is none), sets
// the cleaned title (cleaned in place, and without the units XML cannot hold) and
// pdfuaid:part "1". Empty on a toolkit failure.
std::string WriteXmpPacketUA(std::string_view existing, Common::UString& title);

// The toolkit's serialisation with "Lumbra" as the value of x:xmptk.
std::string SerializeXmpPacket(const XmpMeta& meta);

}  // namespace qvx::PDF
