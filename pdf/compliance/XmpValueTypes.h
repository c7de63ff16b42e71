#pragma once
// Whether an XMP node has the form and value a value-type name asks for. Type names:
// "bag T", "seq T", "alt T" (arrays of T), "lang alt", the simple types with a pattern
// ("integer", "real", "boolean", "mimetype", "gpscoordinate"), "date", the free simple
// types ("text", "uri", ...) and the structured types ("resourceref", "dimensions", ...).

#include <span>
#include <string_view>

#include "pdf/compliance/XmpRawProperties.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

struct XmpFieldType {
    std::string_view name;
    std::string_view type;
};

struct XmpStructType {
    std::string_view name;
    std::string_view ns;
    std::span<const XmpFieldType> fields;
};

// The structured type of that name for a PDF/A part, or null ("media" and "time" exist
// from PDF/A-2 on).
const XmpStructType* FindXmpStructType(std::string_view name, int part);

// The same rules on a property as the packet's text writes it. Struct fields are left to
// the toolkit's tree; here a structured type only asks for a struct.
bool CheckXmpRawValueType(const XmpRawProperty& property, std::string_view type, int part);

class XmpValueTypeChecker {
public:
    XmpValueTypeChecker(const XmpMeta& meta, int part) : m_meta(meta), m_part(part) {}

    // node.ns is the namespace of the property the node belongs to, node.path its full path.
    bool Check(const XmpNode& node, std::string_view type) const;

private:
    bool CheckArray(const XmpNode& node, std::string_view type) const;
    bool CheckStruct(const XmpNode& node, const XmpStructType& type) const;
    bool IsDate(const XmpNode& node) const;

    const XmpMeta& m_meta;
    int m_part;
};

}  // namespace qvx::PDF
