#pragma once
// The top-level properties of an XMP packet as its text writes them. The toolkit rewrites
// what it parses (aliases such as xmp:Author become dc:creator, a simple dc:contributor
// becomes a bag, an Alt without languages a language alternative), so the type rules that
// judge the written form read this model instead.

#include <string>
#include <string_view>
#include <vector>

namespace qvx::PDF {

struct XmpRawItem {
    bool composite = false;   // a struct or nested array: its value is not checked
    bool has_lang = false;    // carries xml:lang
    std::string value;
};

struct XmpRawProperty {
    enum Form { e_simple, e_struct, e_bag, e_seq, e_alt };
    std::string ns;
    std::string name;
    Form form = e_simple;
    std::string value;              // simple form only
    std::vector<XmpRawItem> items;  // array forms only

    bool IsSimple() const { return form == e_simple; }
};

// Reads the rdf:Description children of the packet's rdf:RDF element. Markup that the XML
// parser rejects gives no properties (the toolkit's own parse reports such a packet).
std::vector<XmpRawProperty> ReadXmpRawProperties(std::string_view text);

}  // namespace qvx::PDF
