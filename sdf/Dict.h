#pragma once
// A PDF dictionary: entries kept sorted by the bytes of their keys (a flat vector, so a
// lookup is a binary search without allocation and iteration is in key order).

#include <vector>

#include "sdf/Name.h"

namespace qvx::SDF {

struct DictEntry {
    Name key;
    ObjSlot value;
};

class DictIterator {
public:
    DictIterator() = default;
    explicit DictIterator(DictEntry* p, DictEntry* end) : mp(p), mp_end(end) {}

    Obj* Key() const { return &mp->key; }
    std::string_view KeyText() const { return mp->key.Text(); }
    Obj* Value() const { return mp->value.Get(); }
    bool HasNext() const { return mp != mp_end; }
    void Next() { ++mp; }
    DictIterator& operator++()
    {
        ++mp;
        return *this;
    }
    bool operator==(const DictIterator& o) const { return mp == o.mp; }
    DictEntry* Entry() const { return mp; }

private:
    DictEntry* mp = nullptr;
    DictEntry* mp_end = nullptr;
};

class Dict final : public Obj {
public:
    Dict() = default;
    static std::unique_ptr<Dict> Create() { return std::make_unique<Dict>(); }

    Type GetType() const override { return e_dict; }
    std::unique_ptr<Obj> Clone() const override;
    std::size_t Size() const override { return m_entries.size(); }
    DictIterator DictBegin() const override;
    DictIterator DictEnd() const override;
    DictIterator Find(std::string_view key) const override;
    Obj* FindObj(std::string_view key) const override;
    DictIterator Get(std::string_view key) const override;
    bool Erase(std::string_view key) override;
    void Erase(DictIterator pos) override;
    bool Rename(std::string_view old_key, std::string_view new_key) override;

    // For readers that build dictionaries: takes entries in file order, sorts them and
    // keeps the last of duplicated keys; nothing is marked modified.
    void Assign(std::vector<DictEntry>&& entries);

protected:
    Obj* PutSlot(std::string_view key, ObjSlot value) override;

private:
    DictEntry* LowerBound(std::string_view key) const;
    DictIterator At(DictEntry* p) const;

    mutable std::vector<DictEntry> m_entries;
};

}  // namespace qvx::SDF
