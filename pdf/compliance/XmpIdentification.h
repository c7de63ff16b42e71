#pragma once
// The identification schemas in the packet: PDF/A part, conformance, amendment and
// revision (7111 to 7114, 46735), and the PDF/UA identification and title.

#include <map>
#include <set>
#include <string>

#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpCheckContext.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

// Checks pdfaid:part, pdfaid:conformance, pdfaid:amd (PDF/A-1) and pdfaid:rev (PDF/A-4)
// against the context's level; the part and conformance found go into values. declared:
// the prefixes the packet text binds to each namespace (XmpPacketScan), since the toolkit
// keeps its own "pdfaid" whatever prefix the packet uses.
void CheckPDFAIdentification(const XmpCheckContext& ctx, const XmpMeta& meta, DocInfoValues& values,
                             const std::map<std::string, std::set<std::string>>& declared);

// Whether a conformance letter is allowed at a level (none is at level 4).
bool IsAllowedPDFAConformance(std::int32_t level, std::string_view conformance);

// PDF/UA: -17110 without a dc:title, -151/-152/-153 for the pdfuaid schema. Returns the
// title and the part text found.
struct XmpUAIdentification {
    Common::UString title, part;
};
XmpUAIdentification CheckPDFUAIdentification(const XmpCheckContext& ctx, const XmpMeta& meta);

}  // namespace qvx::PDF
