#pragma once
// Resource lookup by category and name. A content stream's resources are its own
// dictionary; a form or pattern without one draws with the resources of the stream that
// invoked it, and a name missing from a form's own dictionary is looked up in the caller's
// (damaged files rely on it), with the lookup telling which happened.

#include <string_view>

#include "sdf/Obj.h"

namespace qvx::PDF {

class Resources {
public:
    Resources() = default;
    // dict: the Resources dictionary (null or a non-dictionary reads as empty); parent:
    // the resources of the invoking stream, which must outlive this one.
    explicit Resources(SDF::Obj* dict, const Resources* parent = nullptr);

    struct Found {
        SDF::Obj* obj = nullptr;   // the resolved resource, null when not defined
        bool inherited = false;    // found only in an invoking stream's resources
        SDF::Obj* entry = nullptr; // the value as the dictionary holds it (a reference or direct)
        explicit operator bool() const { return obj != nullptr; }
    };
    // category: "ColorSpace", "ExtGState", "Font", "Pattern", "Properties", "Shading", "XObject".
    Found Find(std::string_view category, std::string_view name) const;
    SDF::Obj* Get(std::string_view category, std::string_view name) const { return Find(category, name).obj; }
    // The category dictionary of this level only (null when absent).
    SDF::Obj* Category(std::string_view category) const;

    SDF::Obj* GetDict() const { return mp_dict; }
    const Resources* GetParent() const { return mp_parent; }

private:
    SDF::Obj* mp_dict = nullptr;
    const Resources* mp_parent = nullptr;
};

}  // namespace qvx::PDF
