#pragma once
// A pool of objects that belong to no document (options, scratch dictionaries). The pool
// owns what it creates; handles stay valid while it lives.

#include <memory>
#include <vector>

#include "sdf/Obj.h"

namespace qvx::SDF {

class ObjSet {
public:
    ObjSet() = default;
    ObjSet(const ObjSet&) = delete;
    ObjSet& operator=(const ObjSet&) = delete;

    Obj* CreateName(std::string_view name);
    Obj* CreateArray();
    Obj* CreateDict();
    Obj* CreateNumber(double v);
    Obj* CreateBool(bool b);
    Obj* CreateString(Common::ByteView bytes);
    Obj* CreateNull();
    // Takes obj into the pool.
    Obj* Add(std::unique_ptr<Obj> obj);

private:
    std::vector<std::unique_ptr<Obj>> m_objs;
};

}  // namespace qvx::SDF
