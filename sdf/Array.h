#pragma once
// A PDF array: owned direct elements and borrowed references, in file order.

#include <vector>

#include "sdf/Obj.h"

namespace qvx::SDF {

class Array final : public Obj {
public:
    Array() = default;
    static std::unique_ptr<Array> Create() { return std::make_unique<Array>(); }

    Type GetType() const override { return e_array; }
    std::unique_ptr<Obj> Clone() const override;
    std::size_t Size() const override { return m_items.size(); }
    Obj* GetAt(std::size_t i) const override;
    void EraseAt(std::size_t i) override;

    // For readers that build arrays: appends without marking anything modified.
    void Append(ObjSlot item);
    void Reserve(std::size_t n) { m_items.reserve(n); }

protected:
    Obj* InsertSlot(std::size_t i, ObjSlot value) override;
    Obj* PushBackSlot(ObjSlot value) override;
    Obj* ReplaceSlot(std::size_t i, ObjSlot value) override;

private:
    std::vector<ObjSlot> m_items;
};

}  // namespace qvx::SDF
