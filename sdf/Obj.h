#pragma once
// The PDF object. One polymorphic class: the base implements every operation of every
// kind by throwing the illegal-operation error, and each kind overrides what it supports,
// so code that walks objects tests the kind first (IsDict, IsNumber, ...).
//
// Handles and ownership. Everyone passes a borrowed `Obj*`: cheap to copy and compare,
// valid while its document (or ObjSet) lives, never deleted by whoever holds it. The
// document owns its table entries (`Indirect`), an entry owns its referent, a container
// owns its direct children. A reference to an indirect object inside a container is the
// table's own `Indirect*`, which the container does not own. Ownership moves only into
// `Put`, `PushBack`, `Insert`, `Replace` (the `std::unique_ptr` overloads) and
// `SDFDoc::AddObj`.
//
// An `Indirect` forwards every kind-specific operation to its referent, loading it on
// first use, so `doc.GetObj(5)->FindObj("Type")` works whether or not object 5 is loaded.

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/Buffer.h"
#include "common/UString.h"

namespace qvx::Filters {
class Filter;
class FilterWriter;
}  // namespace qvx::Filters

namespace qvx::SDF {

class SDFDoc;
class Obj;
class ObjVisitor;
class DictIterator;

// A container's hold on a child: owns a direct object; borrows a table entry or the
// document's shared null (objects flagged as owned by the document).
class ObjSlot {
public:
    ObjSlot() = default;
    explicit ObjSlot(std::unique_ptr<Obj> owned);
    // obj must be owned by a document (an Indirect entry or the shared null).
    static ObjSlot Borrow(Obj* obj);
    ObjSlot(ObjSlot&& o) noexcept : mp(o.mp) { o.mp = nullptr; }
    ObjSlot& operator=(ObjSlot&& o) noexcept;
    ~ObjSlot() { Reset(); }

    Obj* Get() const { return mp; }
    Obj* operator->() const { return mp; }
    explicit operator bool() const { return mp != nullptr; }
    void Reset();
    // Gives up an owned object (null when the slot only borrows).
    std::unique_ptr<Obj> Release();

private:
    Obj* mp = nullptr;
};

class Obj {
public:
    enum Type { e_null = 0, e_bool, e_number, e_name, e_string, e_dict, e_array, e_stream };

    Obj(const Obj&) = delete;
    Obj& operator=(const Obj&) = delete;
    virtual ~Obj();

    // An Indirect entry answers for its referent (loading it).
    virtual Type GetType() const = 0;
    virtual void Accept(ObjVisitor& v);
    // The document that owns the object, or null (ObjSet or not yet placed).
    virtual SDFDoc* GetDoc() const;
    // A deep copy with no owner. References to indirect objects inside stay references;
    // a stream's file data is copied into memory. On an Indirect: a copy of the referent.
    virtual std::unique_ptr<Obj> Clone() const = 0;
    // PDF syntax of the object (an Indirect writes its reference "n g R").
    void Write(Filters::FilterWriter& w) const;
    // Same object, or same kind and value (containers only compare equal to themselves).
    virtual bool IsEqual(const Obj* o) const;

    // The direct object: this, or an Indirect's referent (loaded under the document mutex).
    virtual Obj* Resolve() { return this; }
    const Obj* Resolve() const { return const_cast<Obj*>(this)->Resolve(); }
    // For a direct object, the container or table entry that holds it.
    Obj* GetParent() const { return mp_parent; }

    bool IsNull() const { return GetType() == e_null; }
    bool IsBool() const { return GetType() == e_bool; }
    bool IsNumber() const { return GetType() == e_number; }
    bool IsName() const { return GetType() == e_name; }
    bool IsString() const { return GetType() == e_string; }
    bool IsDict() const { return GetType() == e_dict; }
    bool IsArray() const { return GetType() == e_array; }
    bool IsStream() const { return GetType() == e_stream; }
    bool IsContainer() const;

    virtual bool GetBool() const;
    virtual void SetBool(bool b);

    virtual double GetNumber() const;
    virtual void SetNumber(double v);
    // Changes the value without marking the enclosing indirect object modified.
    virtual void SetNumberNoSetDirty(double v);

    // Str: the bytes (may contain NUL).
    virtual Common::ByteView GetBuffer() const;
    virtual void SetString(Common::ByteView bytes);
    void SetString(std::string_view bytes) { SetString(Common::AsBytes(bytes)); }
    // Str as a PDF text string: UTF-16BE or UTF-8 with their byte order marks, otherwise
    // PDFDocEncoding.
    Common::UString GetAsPDFText() const;

    // Name: the text without the solidus, # escapes decoded.
    virtual std::string_view GetName() const;
    virtual void SetName(std::string_view text);

    // Table entries. On a direct object these ask the owner chain and throw the
    // illegal-operation error when it ends without an indirect object.
    virtual bool IsIndirect() const { return false; }
    virtual std::uint32_t GetObjNum() const;
    virtual std::uint16_t GetGenNum() const;
    virtual std::uint64_t GetOffset() const;
    virtual bool IsFree() const;
    virtual bool IsLoaded() const { return true; }
    virtual void SetMark(bool mark);
    virtual bool IsMarked() const;

    // Array element count, dictionary entry count, string byte count.
    virtual std::size_t Size() const;

    // Dictionaries (a stream forwards to its dictionary). Keys iterate in ascending byte
    // order. Iterators are invalidated by Put, Erase and Rename.
    virtual DictIterator DictBegin() const;
    virtual DictIterator DictEnd() const;
    virtual DictIterator Find(std::string_view key) const;
    // The value, or null when absent.
    virtual Obj* FindObj(std::string_view key) const;
    // Throws "The dictionary does not contain required key: <key>" when absent.
    virtual DictIterator Get(std::string_view key) const;
    // Inserts or replaces; takes ownership. Returns the stored value.
    Obj* Put(std::string_view key, std::unique_ptr<Obj> value);
    // Stores a reference when value is a table entry (or the shared null), a deep copy
    // when it is a direct object; the caller keeps its object.
    Obj* Put(std::string_view key, Obj* value);
    Obj* PutName(std::string_view key, std::string_view name);
    Obj* PutNumber(std::string_view key, double v);
    Obj* PutBool(std::string_view key, bool b);
    Obj* PutString(std::string_view key, Common::ByteView bytes);
    Obj* PutString(std::string_view key, std::string_view bytes) { return PutString(key, Common::AsBytes(bytes)); }
    Obj* PutNull(std::string_view key);
    Obj* PutDict(std::string_view key);
    Obj* PutArray(std::string_view key);
    // Removes the key if present; returns whether it was.
    virtual bool Erase(std::string_view key);
    virtual void Erase(DictIterator pos);
    // Renames a key (replacing an entry already under new_key); false when old_key is absent.
    virtual bool Rename(std::string_view old_key, std::string_view new_key);

    // Arrays; indexes are 0-based and checked.
    virtual Obj* GetAt(std::size_t i) const;
    // The unique_ptr forms take ownership; the Obj* forms reference or copy as Put does.
    Obj* Insert(std::size_t i, std::unique_ptr<Obj> value);
    Obj* Insert(std::size_t i, Obj* value);
    Obj* PushBack(std::unique_ptr<Obj> value);
    Obj* PushBack(Obj* value);
    Obj* PushBackName(std::string_view name);
    Obj* PushBackNumber(double v);
    Obj* PushBackBool(bool b);
    Obj* PushBackString(Common::ByteView bytes);
    Obj* PushBackNull();
    Obj* PushBackDict();
    Obj* PushBackArray();
    virtual void EraseAt(std::size_t i);
    Obj* Replace(std::size_t i, std::unique_ptr<Obj> value);
    Obj* Replace(std::size_t i, Obj* value);

    // Streams. The raw data is the stored bytes (decrypted when decrypt is set and the
    // document has a security handler); the decoded data has every filter applied. The
    // returned filters read on their own and stay valid while the document lives and the
    // stream's data is not replaced.
    virtual bool IsNewStream() const;
    virtual std::uint64_t GetRawStreamLength() const;
    virtual std::unique_ptr<Filters::Filter> GetRawStream(bool decrypt = true) const;
    virtual std::unique_ptr<Filters::Filter> GetDecodedStream() const;
    // Replaces the stored bytes with data held in memory and sets Length; Filter and
    // DecodeParms are left as they are and must describe the new bytes.
    virtual void SetStreamData(Common::Bytes data);

    // Modified marks: an edit marks the enclosing indirect object and records it in the
    // document's modified set. A direct object forwards to its owner.
    virtual void SetModified();
    virtual bool IsModified() const;

    // Owned by a document rather than a container: table entries and the shared null.
    bool IsDocumentOwned() const { return m_doc_owned; }

protected:
    Obj() = default;
    // Throws the illegal-operation error for operation `op` on this kind.
    [[noreturn]] static void Illegal(const char* op);
    // Inserting `value` here: checks it is not from another document, and makes a slot
    // for it (reference or deep copy).
    ObjSlot SlotFor(Obj* value, const char* different_doc_message) const;
    ObjSlot SlotFor(std::unique_ptr<Obj> value) const;
    // Containers and table entries set their children's owner with this.
    static void SetParent(Obj* child, Obj* parent) { child->mp_parent = parent; }
    static void SetDocOwned(Obj* obj) { obj->m_doc_owned = true; }

    // The streams and table entries forward these to the object they stand for.
    friend class Stream;
    friend class Indirect;
    virtual Obj* PutSlot(std::string_view key, ObjSlot value);
    virtual Obj* InsertSlot(std::size_t i, ObjSlot value);
    virtual Obj* PushBackSlot(ObjSlot value);
    virtual Obj* ReplaceSlot(std::size_t i, ObjSlot value);

    Obj* mp_parent = nullptr;
    bool m_doc_owned = false;
};

}  // namespace qvx::SDF
