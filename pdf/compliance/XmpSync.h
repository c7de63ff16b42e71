#pragma once
// Agreement of the document information dictionary with the packet: the two dates (737,
// 738) and the six texts (731 to 736), merging both into DocInfoValues. Each check ends on
// its own at a toolkit error, recording 723, and the next one runs.

#include <span>

#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpCheckContext.h"
#include "pdf/compliance/XmpRawProperties.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// xmp:CreateDate against CreationDate, then xmp:ModifyDate against ModDate; sets
// values.info_newer when the Info date is the later one.
void CheckXmpDates(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values);

// Title, Author, Subject, Keywords, Creator and Producer against dc:title, dc:creator,
// dc:description, pdf:Keywords, xmp:CreatorTool and pdf:Producer. The toolkit turns a title
// or description written as plain text into a language alternative; raw (the packet's
// properties as written) tells that form apart.
void CheckXmpTexts(const XmpCheckContext& ctx, const XmpMeta& meta, std::span<const XmpRawProperty> raw,
                   DocInfoValues& values);

}  // namespace qvx::PDF
