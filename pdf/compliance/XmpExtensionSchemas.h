#pragma once
// Validation of PDF/A extension schemas (pdfaExtension:schemas): every namespace holding
// properties that PDF/A does not predefine must be described there, with each property,
// and each custom value type with its fields (the 781 and 78xx codes).

#include <map>
#include <set>
#include <string>

#include "pdf/compliance/XmpCheckContext.h"
#include "pdf/compliance/XmpPropertyChecks.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// declared: the prefixes the packet text binds to each namespace (XmpPacketScan).
void ValidateExtensionSchemas(const XmpCheckContext& ctx, const XmpMeta& meta, const XmpPredefinedResult& found,
                              const std::map<std::string, std::set<std::string>>& declared);

// Whether a value-type name begins with one of the 33 names PDF/A predefines for
// extension schemas ("Text", "Seq", "Lang Alt", ...).
bool IsPredefinedExtensionValueType(std::string_view type);

}  // namespace qvx::PDF
