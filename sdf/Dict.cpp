#include "sdf/Dict.h"

#include <algorithm>
#include <string>

#include "common/Exception.h"

namespace qvx::SDF {

std::unique_ptr<Obj> Dict::Clone() const
{
    auto copy = Create();
    copy->m_entries.reserve(m_entries.size());
    for (const DictEntry& e : m_entries) {
        Obj* o = e.value.Get();
        ObjSlot v = o->IsDocumentOwned() ? ObjSlot::Borrow(o) : ObjSlot(o->Clone());
        if (!v->IsDocumentOwned()) SetParent(v.Get(), copy.get());
        copy->m_entries.push_back({Name(e.key.Text()), std::move(v)});
        SetParent(&copy->m_entries.back().key, copy.get());
    }
    return copy;
}

DictEntry* Dict::LowerBound(std::string_view key) const
{
    DictEntry* lo = m_entries.data();
    std::size_t n = m_entries.size();
    while (n > 0) {
        std::size_t half = n / 2;
        if (lo[half].key.Text() < key) {
            lo += half + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    return lo;
}

DictIterator Dict::At(DictEntry* p) const { return DictIterator(p, m_entries.data() + m_entries.size()); }

DictIterator Dict::DictBegin() const { return At(m_entries.data()); }

DictIterator Dict::DictEnd() const { return At(m_entries.data() + m_entries.size()); }

DictIterator Dict::Find(std::string_view key) const
{
    DictEntry* p = LowerBound(key);
    if (p != m_entries.data() + m_entries.size() && p->key.Text() == key) return At(p);
    return DictEnd();
}

Obj* Dict::FindObj(std::string_view key) const
{
    DictEntry* p = LowerBound(key);
    if (p != m_entries.data() + m_entries.size() && p->key.Text() == key) return p->value.Get();
    return nullptr;
}

DictIterator Dict::Get(std::string_view key) const
{
    DictIterator it = Find(key);
    if (it == DictEnd())
        QVX_THROW("it != DictEnd()", "The dictionary does not contain required key: " + std::string(key));
    return it;
}

Obj* Dict::PutSlot(std::string_view key, ObjSlot value)
{
    Obj* p = value.Get();
    if (!p->IsDocumentOwned()) SetParent(p, this);
    DictEntry* pos = LowerBound(key);
    if (pos != m_entries.data() + m_entries.size() && pos->key.Text() == key) {
        pos->value = std::move(value);
    } else {
        auto it = m_entries.insert(m_entries.begin() + (pos - m_entries.data()), {Name(key), std::move(value)});
        SetParent(&it->key, this);
    }
    SetModified();
    return p;
}

bool Dict::Erase(std::string_view key)
{
    DictEntry* p = LowerBound(key);
    if (p == m_entries.data() + m_entries.size() || p->key.Text() != key) return false;
    m_entries.erase(m_entries.begin() + (p - m_entries.data()));
    SetModified();
    return true;
}

void Dict::Erase(DictIterator pos)
{
    DictEntry* p = pos.Entry();
    DictEntry* b = m_entries.data();
    if (!p || p < b || p >= b + m_entries.size())
        QVX_THROW("p && p >= b && p < b + m_entries.size()", "Invalid iterator to erase. Please call HasNext to verify the iterator.");
    m_entries.erase(m_entries.begin() + (p - b));
    SetModified();
}

bool Dict::Rename(std::string_view old_key, std::string_view new_key)
{
    DictIterator it = Find(old_key);
    if (it == DictEnd()) return false;
    if (old_key == new_key) return true;
    std::string keep(new_key);  // new_key may point into the entry being removed
    ObjSlot value = std::move(it.Entry()->value);
    m_entries.erase(m_entries.begin() + (it.Entry() - m_entries.data()));
    PutSlot(keep, std::move(value));
    return true;
}

void Dict::Assign(std::vector<DictEntry>&& entries)
{
    m_entries = std::move(entries);
    // Stable, so among equal keys file order remains and the last occurrence is kept.
    if (!std::is_sorted(m_entries.begin(), m_entries.end(),
                        [](const DictEntry& a, const DictEntry& b) { return a.key.Text() < b.key.Text(); })) {
        std::stable_sort(m_entries.begin(), m_entries.end(),
                         [](const DictEntry& a, const DictEntry& b) { return a.key.Text() < b.key.Text(); });
    }
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i + 1 < m_entries.size() && m_entries[i + 1].key.Text() == m_entries[i].key.Text()) continue;
        if (out != i) m_entries[out] = std::move(m_entries[i]);
        ++out;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(out), m_entries.end());
    for (DictEntry& e : m_entries) {
        SetParent(&e.key, this);
        if (!e.value->IsDocumentOwned()) SetParent(e.value.Get(), this);
    }
}

}  // namespace qvx::SDF
