#include "pdf/compliance/XmpRawProperties.h"

#include <climits>
#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace qvx::PDF {

namespace {

constexpr std::string_view kRDF = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kXML = "http://www.w3.org/XML/1998/namespace";

std::string_view NsOf(const xmlNode* n)
{
    return n->ns && n->ns->href ? std::string_view(reinterpret_cast<const char*>(n->ns->href)) : std::string_view();
}

std::string_view NsOf(const xmlAttr* a)
{
    return a->ns && a->ns->href ? std::string_view(reinterpret_cast<const char*>(a->ns->href)) : std::string_view();
}

std::string_view NameOf(const xmlNode* n) { return reinterpret_cast<const char*>(n->name); }
std::string_view NameOf(const xmlAttr* a) { return reinterpret_cast<const char*>(a->name); }

bool IsRdf(const xmlNode* n, std::string_view name)
{
    return n->type == XML_ELEMENT_NODE && NsOf(n) == kRDF && NameOf(n) == name;
}

std::string Text(const xmlNode* n)
{
    std::unique_ptr<xmlChar, decltype(xmlFree)> s(xmlNodeGetContent(n), xmlFree);
    return s ? std::string(reinterpret_cast<const char*>(s.get())) : std::string();
}

std::string AttrText(const xmlAttr* a)
{
    return a->children ? Text(a->children) : std::string();
}

const xmlNode* FirstElement(const xmlNode* n)
{
    for (const xmlNode* c = n->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE) return c;
    return nullptr;
}

// An attribute that is a property or struct field rather than RDF or XML markup.
bool IsPropertyAttr(const xmlAttr* a)
{
    std::string_view ns = NsOf(a);
    return !ns.empty() && ns != kRDF && ns != kXML;
}

bool HasPropertyAttrs(const xmlNode* n)
{
    for (const xmlAttr* a = n->properties; a; a = a->next)
        if (IsPropertyAttr(a)) return true;
    return false;
}

const xmlAttr* FindAttr(const xmlNode* n, std::string_view ns, std::string_view name)
{
    for (const xmlAttr* a = n->properties; a; a = a->next)
        if (NsOf(a) == ns && NameOf(a) == name) return a;
    return nullptr;
}

// The rdf:value of a node, as its attribute or as a child element: with it, whatever else
// the node holds qualifies one simple value.
bool FindRdfValue(const xmlNode* n, std::string* value)
{
    if (const xmlAttr* v = FindAttr(n, kRDF, "value")) {
        *value = AttrText(v);
        return true;
    }
    for (const xmlNode* c = n->children; c; c = c->next)
        if (IsRdf(c, "value")) {
            *value = Text(c);
            return true;
        }
    return false;
}

// A node with element content, an rdf:parseType or field attributes is composite, unless
// it gives an rdf:value: in its attributes, in its fields (rdf:parseType="Resource"), or
// in a Description inside it; then it is a qualified simple value.
bool IsComposite(const xmlNode* n, std::string* value)
{
    const xmlAttr* parse_type = FindAttr(n, kRDF, "parseType");
    bool resource = parse_type && AttrText(parse_type) == "Resource";
    if ((resource || FindAttr(n, kRDF, "value")) && FindRdfValue(n, value)) return false;
    if (parse_type || HasPropertyAttrs(n)) return true;
    const xmlNode* child = FirstElement(n);
    if (!child) {
        if (const xmlAttr* res = FindAttr(n, kRDF, "resource")) *value = AttrText(res);
        else *value = Text(n);
        return false;
    }
    return !(IsRdf(child, "Description") && FindRdfValue(child, value));
}

XmpRawProperty ReadElement(const xmlNode* e)
{
    XmpRawProperty p;
    p.ns = NsOf(e);
    p.name = NameOf(e);
    const xmlNode* child = FirstElement(e);
    bool array = child && (IsRdf(child, "Bag") || IsRdf(child, "Seq") || IsRdf(child, "Alt"));
    if (!array) {
        p.form = IsComposite(e, &p.value) ? XmpRawProperty::e_struct : XmpRawProperty::e_simple;
        return p;
    }
    p.form = IsRdf(child, "Bag") ? XmpRawProperty::e_bag
           : IsRdf(child, "Seq") ? XmpRawProperty::e_seq
                                 : XmpRawProperty::e_alt;
    for (const xmlNode* li = child->children; li; li = li->next) {
        if (!IsRdf(li, "li")) continue;
        XmpRawItem item;
        item.has_lang = FindAttr(li, kXML, "lang") != nullptr;
        item.composite = IsComposite(li, &item.value);
        p.items.push_back(std::move(item));
    }
    return p;
}

void ReadDescription(const xmlNode* d, std::vector<XmpRawProperty>& out)
{
    for (const xmlAttr* a = d->properties; a; a = a->next) {
        if (!IsPropertyAttr(a)) continue;
        XmpRawProperty p;
        p.ns = NsOf(a);
        p.name = NameOf(a);
        p.value = AttrText(a);
        out.push_back(std::move(p));
    }
    for (const xmlNode* c = d->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && !NsOf(c).empty()) out.push_back(ReadElement(c));
}

const xmlNode* FindRDF(const xmlNode* n)
{
    for (; n; n = n->next) {
        if (IsRdf(n, "RDF")) return n;
        if (n->type != XML_ELEMENT_NODE) continue;
        if (const xmlNode* found = FindRDF(n->children)) return found;
    }
    return nullptr;
}

}  // namespace

std::vector<XmpRawProperty> ReadXmpRawProperties(std::string_view text)
{
    std::vector<XmpRawProperty> out;
    if (text.size() > INT_MAX) return out;
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        &xmlFreeDoc);
    if (!doc) return out;
    const xmlNode* rdf = FindRDF(xmlDocGetRootElement(doc.get()));
    if (!rdf) return out;
    for (const xmlNode* d = rdf->children; d; d = d->next)
        if (IsRdf(d, "Description")) ReadDescription(d, out);
    return out;
}

}  // namespace qvx::PDF
