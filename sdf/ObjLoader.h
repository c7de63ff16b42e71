#pragma once
// Reads the referent of a table entry from the document's file: the object parser for a
// document opened from a file.

#include <memory>

namespace qvx::SDF {

class Indirect;
class Obj;

class ObjLoader {
public:
    virtual ~ObjLoader() = default;
    // The object of an in-use or compressed entry; throws when it cannot be formed.
    virtual std::unique_ptr<Obj> LoadObject(Indirect& entry) = 0;
};

}  // namespace qvx::SDF
