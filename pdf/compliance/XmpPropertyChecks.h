#pragma once
// The checks on individual XMP properties: names in the XMP basic namespace (724),
// the form of xmp:Identifier (739), and which properties PDF/A predefines with their value
// types, collecting the namespaces that need an extension schema.

#include <span>

#include "pdf/compliance/XmpCheckContext.h"
#include "pdf/compliance/XmpRawProperties.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// 724 for every leaf of the XMP basic namespace whose name begins with none of the names
// XMP basic defines; in conversion those leaves are deleted.
void CheckXmpBasicNames(const XmpCheckContext& ctx, XmpMeta& meta);

// 739 when xmp:Identifier is not an array; in conversion it is deleted.
void CheckXmpIdentifier(const XmpCheckContext& ctx, XmpMeta& meta);

struct XmpPredefinedResult {
    XmpUndescribed undescribed;
    bool extension_present = false;   // the packet uses the PDF/A extension namespace
};

// Walks every property against the predefined table of the context's PDF/A part. A
// namespace with a property that is not predefined, or whose value has the wrong type,
// enters the result with all of its properties. The properties as the packet writes them
// are judged too, so that a form the toolkit rewrote on parsing still counts.
XmpPredefinedResult CheckPredefinedProperties(const XmpCheckContext& ctx, const XmpMeta& meta,
                                              std::span<const XmpRawProperty> raw);

}  // namespace qvx::PDF
