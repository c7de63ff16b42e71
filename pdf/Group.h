#pragma once
// The group attributes of a page or form XObject (Group entry).

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

struct Group {
    SDF::Obj* dict = nullptr;          // the Group dictionary, null when absent
    bool is_transparency = false;      // S is Transparency
    SDF::Obj* color_space = nullptr;   // CS as given, null when absent
    bool isolated = false, knockout = false;

    // The group of a page dictionary or form stream.
    static Group Of(SDF::Obj* page_or_form);
};

}  // namespace qvx::PDF
