#pragma once
// One entry of the document's object table. It stands for object number n: forwards
// every kind-specific operation to its referent, loading the referent on first use, and
// answers the entry's own questions (number, generation, offset, state) itself.

#include <atomic>

#include "sdf/Obj.h"

namespace qvx::SDF {

class SDFDocImpl;

class Indirect final : public Obj {
public:
    // The entry kinds, with the codes of a cross-reference stream's type field.
    enum EntryType : std::uint8_t { e_free = 0, e_in_use = 1, e_compressed = 2 };

    // For in-use entries: offset = file offset of "n g obj" (0 when created in memory),
    // gen = generation. Free: offset = next free number. Compressed: offset = number of
    // the object stream, gen = index inside it.
    Indirect(SDFDocImpl& doc, std::uint32_t num, EntryType type, std::uint64_t offset, std::uint32_t gen);
    ~Indirect() override;

    Type GetType() const override { return Target()->GetType(); }
    void Accept(ObjVisitor& v) override { Target()->Accept(v); }
    SDFDoc* GetDoc() const override;
    std::unique_ptr<Obj> Clone() const override { return Target()->Clone(); }
    Obj* Resolve() override { return Target(); }

    bool GetBool() const override { return Target()->GetBool(); }
    void SetBool(bool b) override { Target()->SetBool(b); }
    double GetNumber() const override { return Target()->GetNumber(); }
    void SetNumber(double v) override { Target()->SetNumber(v); }
    void SetNumberNoSetDirty(double v) override { Target()->SetNumberNoSetDirty(v); }
    Common::ByteView GetBuffer() const override { return Target()->GetBuffer(); }
    void SetString(Common::ByteView b) override { Target()->SetString(b); }
    std::string_view GetName() const override { return Target()->GetName(); }
    void SetName(std::string_view t) override { Target()->SetName(t); }

    bool IsIndirect() const override { return true; }
    std::uint32_t GetObjNum() const override { return m_num; }
    std::uint16_t GetGenNum() const override;
    std::uint64_t GetOffset() const override { return m_offset; }
    bool IsFree() const override { return EntryKind() == e_free; }
    bool IsLoaded() const override { return mp_obj.load(std::memory_order_acquire) != nullptr; }
    void SetMark(bool mark) override;
    bool IsMarked() const override { return m_flags & kMark; }

    std::size_t Size() const override { return Target()->Size(); }
    DictIterator DictBegin() const override;
    DictIterator DictEnd() const override;
    DictIterator Find(std::string_view key) const override;
    Obj* FindObj(std::string_view key) const override { return Target()->FindObj(key); }
    DictIterator Get(std::string_view key) const override;
    bool Erase(std::string_view key) override { return Target()->Erase(key); }
    void Erase(DictIterator pos) override;
    bool Rename(std::string_view o, std::string_view n) override { return Target()->Rename(o, n); }
    Obj* GetAt(std::size_t i) const override { return Target()->GetAt(i); }
    void EraseAt(std::size_t i) override { Target()->EraseAt(i); }

    bool IsNewStream() const override { return Target()->IsNewStream(); }
    std::uint64_t GetRawStreamLength() const override { return Target()->GetRawStreamLength(); }
    std::unique_ptr<Filters::Filter> GetRawStream(bool decrypt) const override;
    std::unique_ptr<Filters::Filter> GetDecodedStream() const override;
    void SetStreamData(Common::Bytes data) override { Target()->SetStreamData(std::move(data)); }

    void SetModified() override;
    bool IsModified() const override { return m_flags & kModified; }
    void ClearModified() { m_flags &= ~kModified; }

    // The entry itself.
    EntryType EntryKind() const { return static_cast<EntryType>(m_flags & kTypeMask); }
    // Cross-reference stream field 1 (the entry type) and field 3 (generation or index).
    int GetField1() const { return EntryKind(); }
    std::uint32_t GetField3() const { return m_gen; }
    // Offset of a placeholder: an entry made for a reference met while reading
    // cross-reference data, before (or without) the section that defines the object.
    static constexpr std::uint64_t kPlaceholder = ~std::uint64_t{0};
    bool IsPlaceholder() const { return EntryKind() == e_in_use && m_offset == kPlaceholder; }
    // Entries the engine made itself (reused slots, rebuilt entries, placeholders).
    bool IsEngineCreated() const { return m_flags & kEngine; }
    void SetEngineCreated() { m_flags |= kEngine; }
    // The referent without loading it (null when not loaded).
    Obj* GetReferent() const { return mp_obj.load(std::memory_order_acquire); }
    // Makes obj the referent (the entry owns it); the previous referent is returned.
    std::unique_ptr<Obj> SetReferent(std::unique_ptr<Obj> obj);
    // Redefines the entry (table loading, AddObj, freeing); keeps the referent.
    void Reset(EntryType type, std::uint64_t offset, std::uint32_t gen);
    SDFDocImpl& GetDocImpl() const { return *mp_doc; }

protected:
    Obj* PutSlot(std::string_view key, ObjSlot value) override;
    Obj* InsertSlot(std::size_t i, ObjSlot value) override;
    Obj* PushBackSlot(ObjSlot value) override;
    Obj* ReplaceSlot(std::size_t i, ObjSlot value) override;

private:
    static constexpr std::uint8_t kTypeMask = 0x03;
    static constexpr std::uint8_t kModified = 0x04;
    static constexpr std::uint8_t kMark = 0x08;
    static constexpr std::uint8_t kEngine = 0x10;

    // The referent, loaded under the document mutex when needed.
    Obj* Target() const;

    SDFDocImpl* mp_doc;
    std::atomic<Obj*> mp_obj{nullptr};
    std::uint64_t m_offset;
    std::uint32_t m_num;
    std::uint32_t m_gen;
    std::uint8_t m_flags;
};

}  // namespace qvx::SDF
