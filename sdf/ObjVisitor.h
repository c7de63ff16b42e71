#pragma once
// Visits an object by kind (Obj::Accept calls the operation for the object's kind).

namespace qvx::SDF {

class Obj;

class ObjVisitor {
public:
    virtual ~ObjVisitor() = default;
    virtual void VisitNull(Obj&) {}
    virtual void VisitBool(Obj&) {}
    virtual void VisitNumber(Obj&) {}
    virtual void VisitName(Obj&) {}
    virtual void VisitString(Obj&) {}
    virtual void VisitArray(Obj&) {}
    virtual void VisitDict(Obj&) {}
    virtual void VisitStream(Obj&) {}
};

}  // namespace qvx::SDF
