#include "sdf/Array.h"

#include "common/Exception.h"

namespace qvx::SDF {

std::unique_ptr<Obj> Array::Clone() const
{
    auto copy = Create();
    copy->m_items.reserve(m_items.size());
    for (const ObjSlot& s : m_items) {
        Obj* o = s.Get();
        copy->Append(o->IsDocumentOwned() ? ObjSlot::Borrow(o) : ObjSlot(o->Clone()));
    }
    return copy;
}

Obj* Array::GetAt(std::size_t i) const
{
    if (i >= m_items.size()) QVX_THROW("idx < m_items.size()", "Array::GetAt - Index is out of range");
    return m_items[i].Get();
}

void Array::Append(ObjSlot item)
{
    if (!item->IsDocumentOwned()) SetParent(item.Get(), this);
    m_items.push_back(std::move(item));
}

Obj* Array::InsertSlot(std::size_t i, ObjSlot value)
{
    if (i > m_items.size()) QVX_THROW("idx <= m_items.size()", "Array::Insert - Index is out of range");
    Obj* p = value.Get();
    if (!p->IsDocumentOwned()) SetParent(p, this);
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(i), std::move(value));
    SetModified();
    return p;
}

Obj* Array::PushBackSlot(ObjSlot value) { return InsertSlot(m_items.size(), std::move(value)); }

Obj* Array::ReplaceSlot(std::size_t i, ObjSlot value)
{
    if (i >= m_items.size()) QVX_THROW("idx < m_items.size()", "Array::Replace: Index is out of range");
    Obj* p = value.Get();
    if (!p->IsDocumentOwned()) SetParent(p, this);
    m_items[i] = std::move(value);
    SetModified();
    return p;
}

void Array::EraseAt(std::size_t i)
{
    if (i >= m_items.size()) QVX_THROW("idx < m_items.size()", "Array::EraseAt - Index is out of range");
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
    SetModified();
}

}  // namespace qvx::SDF
