#pragma once
// Optional content as a viewer shows it by default: the groups the default configuration
// (OCProperties /D) turns off, and whether a group or membership dictionary is visible. A
// document without OCProperties has none, and shows all it marks.

#include <set>

namespace qvx::SDF {
class Obj;
class SDFDoc;
}

namespace qvx::Render {

class OptionalContent {
public:
    explicit OptionalContent(SDF::SDFDoc& doc);
    // Whether content marked with oc (an OCG or OCMD dictionary; null: unmarked) shows.
    bool Visible(SDF::Obj* oc, int depth = 0) const;

private:
    bool GroupOn(const SDF::Obj* group) const;
    // A visibility expression: a group, or [/And|/Or|/Not operands] over nested expressions.
    bool Expression(SDF::Obj* ve, int depth) const;

    std::set<const SDF::Obj*> m_off, m_on;
    bool m_base_off = false;
    bool m_none = true;  // no OCProperties: nothing is optional
};

}  // namespace qvx::Render
