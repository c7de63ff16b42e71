#pragma once
// The metadata checks on a packet's bytes, once the metadata stream has been found and
// read: parse, wrapper, property names, dates, texts, predefined properties, extension
// schemas and identification. Everything is recorded through the context; nothing throws.

#include <string>
#include <string_view>

#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpCheckContext.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// Runs under the process-wide toolkit lock. values comes in with the Info dictionary's
// values and leaves merged with the packet's. When holder is not null and nothing was
// recorded in the whole store up to the identification checks, it receives the parsed
// packet. Returns false only when the toolkit cannot be initialised.
bool ValidateXmpPacket(const XmpCheckContext& ctx, std::string_view packet, DocInfoValues& values,
                       XmpMetaHolder* holder);

// The PDF/UA counterpart: parse, then the title and the pdfuaid schema; 723 when the
// toolkit fails. Returns the title and part (trailing U+0000 removed).
struct XmpUAResult {
    bool initialised = false;
    Common::UString title, part;
};
XmpUAResult ValidateXmpPacketUA(const XmpCheckContext& ctx, std::string_view packet);

}  // namespace qvx::PDF
