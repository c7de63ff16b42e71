#include "sdf/Obj.h"

#include <string>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "sdf/Objects.h"
#include "sdf/ObjWriter.h"
#include "sdf/SDFDoc.h"

namespace qvx::SDF {

ObjSlot::ObjSlot(std::unique_ptr<Obj> owned) : mp(owned.release()) {}

ObjSlot ObjSlot::Borrow(Obj* obj)
{
    ObjSlot s;
    s.mp = obj;
    return s;
}

ObjSlot& ObjSlot::operator=(ObjSlot&& o) noexcept
{
    if (this != &o) {
        Reset();
        mp = o.mp;
        o.mp = nullptr;
    }
    return *this;
}

void ObjSlot::Reset()
{
    if (mp && !mp->IsDocumentOwned()) delete mp;
    mp = nullptr;
}

std::unique_ptr<Obj> ObjSlot::Release()
{
    if (!mp || mp->IsDocumentOwned()) return nullptr;
    Obj* p = mp;
    mp = nullptr;
    return std::unique_ptr<Obj>(p);
}

Obj::~Obj() = default;

void Obj::Illegal(const char* op)
{
    QVX_THROW_IN("the object's type supports the call", "IllegalFunctionException", std::string(op) + "() can't be invoked on Obj of this type.");
}

void Obj::Accept(ObjVisitor& v)
{
    switch (GetType()) {
    case e_null: v.VisitNull(*this); break;
    case e_bool: v.VisitBool(*this); break;
    case e_number: v.VisitNumber(*this); break;
    case e_name: v.VisitName(*this); break;
    case e_string: v.VisitString(*this); break;
    case e_array: v.VisitArray(*this); break;
    case e_dict: v.VisitDict(*this); break;
    case e_stream: v.VisitStream(*this); break;
    }
}

SDFDoc* Obj::GetDoc() const
{
    for (const Obj* p = mp_parent; p; p = p->mp_parent)
        if (p->IsIndirect()) return p->GetDoc();
    return nullptr;
}

void Obj::Write(Filters::FilterWriter& w) const { ObjWriter(w).Write(*this); }

bool Obj::IsEqual(const Obj* o) const
{
    if (!o) return false;
    const Obj* a = Resolve();
    const Obj* b = o->Resolve();
    if (a == b) return true;
    Type t = a->GetType();
    if (t != b->GetType()) return false;
    switch (t) {
    case e_null: return true;
    case e_bool: return a->GetBool() == b->GetBool();
    case e_number: return a->GetNumber() == b->GetNumber();
    case e_name: return a->GetName() == b->GetName();
    case e_string: {
        auto x = a->GetBuffer(), y = b->GetBuffer();
        return std::equal(x.begin(), x.end(), y.begin(), y.end());
    }
    default: return false;
    }
}

bool Obj::IsContainer() const
{
    Type t = GetType();
    return t == e_dict || t == e_array || t == e_stream;
}

bool Obj::GetBool() const { Illegal("GetBool"); }
void Obj::SetBool(bool) { Illegal("SetBool"); }
double Obj::GetNumber() const { Illegal("GetNumber"); }
void Obj::SetNumber(double) { Illegal("SetNumber"); }
void Obj::SetNumberNoSetDirty(double) { Illegal("SetNumberNoSetDirty"); }
Common::ByteView Obj::GetBuffer() const { Illegal("GetBuffer"); }
void Obj::SetString(Common::ByteView) { Illegal("SetString"); }
std::string_view Obj::GetName() const { Illegal("GetName"); }
void Obj::SetName(std::string_view) { Illegal("SetName"); }

static const Obj* EnclosingIndirect(const Obj* o)
{
    for (const Obj* p = o->GetParent(); p; p = p->GetParent())
        if (p->IsIndirect()) return p;
    return nullptr;
}

std::uint32_t Obj::GetObjNum() const
{
    if (const Obj* ind = EnclosingIndirect(this)) return ind->GetObjNum();
    Illegal("GetObjNum");
}

std::uint16_t Obj::GetGenNum() const
{
    if (const Obj* ind = EnclosingIndirect(this)) return ind->GetGenNum();
    Illegal("GetGenNum");
}

std::uint64_t Obj::GetOffset() const
{
    if (const Obj* ind = EnclosingIndirect(this)) return ind->GetOffset();
    Illegal("GetOffset");
}

bool Obj::IsFree() const { return false; }
void Obj::SetMark(bool) { Illegal("SetMark"); }
bool Obj::IsMarked() const { Illegal("IsMarked"); }
std::size_t Obj::Size() const { Illegal("Size"); }

DictIterator Obj::DictBegin() const { Illegal("DictBegin"); }
DictIterator Obj::DictEnd() const { Illegal("DictEnd"); }
DictIterator Obj::Find(std::string_view) const { Illegal("Find"); }
Obj* Obj::FindObj(std::string_view) const { Illegal("FindObj"); }
DictIterator Obj::Get(std::string_view) const { Illegal("Get"); }
bool Obj::Erase(std::string_view) { Illegal("Erase"); }
void Obj::Erase(DictIterator) { Illegal("Erase"); }
bool Obj::Rename(std::string_view, std::string_view) { Illegal("Rename"); }
Obj* Obj::PutSlot(std::string_view, ObjSlot) { Illegal("Put"); }

Obj* Obj::GetAt(std::size_t) const { Illegal("GetAt"); }
void Obj::EraseAt(std::size_t) { Illegal("EraseAt"); }
Obj* Obj::InsertSlot(std::size_t, ObjSlot) { Illegal("Insert"); }
Obj* Obj::PushBackSlot(ObjSlot) { Illegal("PushBack"); }
Obj* Obj::ReplaceSlot(std::size_t, ObjSlot) { Illegal("Replace"); }

bool Obj::IsNewStream() const { Illegal("IsNewStream"); }
std::uint64_t Obj::GetRawStreamLength() const { Illegal("GetRawStreamLength"); }
std::unique_ptr<Filters::Filter> Obj::GetRawStream(bool) const { Illegal("GetRawStream"); }
std::unique_ptr<Filters::Filter> Obj::GetDecodedStream() const { Illegal("GetDecodedStream"); }
void Obj::SetStreamData(Common::Bytes) { Illegal("SetStreamData"); }

void Obj::SetModified()
{
    if (Obj* ind = const_cast<Obj*>(EnclosingIndirect(this))) ind->SetModified();
}

bool Obj::IsModified() const
{
    const Obj* ind = EnclosingIndirect(this);
    return ind && ind->IsModified();
}

ObjSlot Obj::SlotFor(Obj* value, const char* different_doc_message) const
{
    if (!value) QVX_THROW("value", "The value can't be NULL (0)");
    SDFDoc* mine = GetDoc();
    SDFDoc* theirs = value->GetDoc();
    if (mine && theirs && mine != theirs) QVX_THROW("!mine || !theirs || mine == theirs", different_doc_message);
    if (value->IsIndirect()) return ObjSlot::Borrow(value);
    return ObjSlot(value->Clone());
}

ObjSlot Obj::SlotFor(std::unique_ptr<Obj> value) const
{
    if (!value) QVX_THROW("value", "The value can't be NULL (0)");
    return ObjSlot(std::move(value));
}

Obj* Obj::Put(std::string_view key, std::unique_ptr<Obj> value) { return PutSlot(key, SlotFor(std::move(value))); }

Obj* Obj::Put(std::string_view key, Obj* value)
{
    return PutSlot(key, SlotFor(value, "Objects cannot belong to different documents"));
}

Obj* Obj::PutName(std::string_view key, std::string_view name) { return Put(key, Name::Create(name)); }
Obj* Obj::PutNumber(std::string_view key, double v) { return Put(key, Number::Create(v)); }
Obj* Obj::PutBool(std::string_view key, bool b) { return Put(key, Bool::Create(b)); }
Obj* Obj::PutString(std::string_view key, Common::ByteView bytes) { return Put(key, Str::Create(bytes)); }
Obj* Obj::PutNull(std::string_view key) { return Put(key, Null::Create()); }
Obj* Obj::PutDict(std::string_view key) { return Put(key, Dict::Create()); }
Obj* Obj::PutArray(std::string_view key) { return Put(key, Array::Create()); }

static ObjSlot ArraySlot(std::unique_ptr<Obj> value)
{
    if (!value) QVX_THROW("obj", "Obj can't be NULL (0)");
    return ObjSlot(std::move(value));
}

static void CheckArrayValue(Obj* value)
{
    if (!value) QVX_THROW("obj", "Obj can't be NULL (0)");
}

Obj* Obj::Insert(std::size_t i, std::unique_ptr<Obj> value) { return InsertSlot(i, ArraySlot(std::move(value))); }

Obj* Obj::Insert(std::size_t i, Obj* value)
{
    CheckArrayValue(value);
    return InsertSlot(i, SlotFor(value, "Objects cannot belong to different documents"));
}

Obj* Obj::PushBack(std::unique_ptr<Obj> value) { return PushBackSlot(ArraySlot(std::move(value))); }

Obj* Obj::PushBack(Obj* value)
{
    CheckArrayValue(value);
    return PushBackSlot(SlotFor(value, "Objects cannot belong to different documents"));
}

Obj* Obj::PushBackName(std::string_view name) { return PushBack(Name::Create(name)); }
Obj* Obj::PushBackNumber(double v) { return PushBack(Number::Create(v)); }
Obj* Obj::PushBackBool(bool b) { return PushBack(Bool::Create(b)); }
Obj* Obj::PushBackString(Common::ByteView bytes) { return PushBack(Str::Create(bytes)); }
Obj* Obj::PushBackNull() { return PushBack(Null::Create()); }
Obj* Obj::PushBackDict() { return PushBack(Dict::Create()); }
Obj* Obj::PushBackArray() { return PushBack(Array::Create()); }

Obj* Obj::Replace(std::size_t i, std::unique_ptr<Obj> value) { return ReplaceSlot(i, ArraySlot(std::move(value))); }

Obj* Obj::Replace(std::size_t i, Obj* value)
{
    CheckArrayValue(value);
    return ReplaceSlot(i, SlotFor(value, "Objects cannot belong to different documents"));
}

}  // namespace qvx::SDF
