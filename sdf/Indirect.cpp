#include "sdf/Indirect.h"

#include "filters/Filter.h"
#include "sdf/Dict.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

Indirect::Indirect(SDFDocImpl& doc, std::uint32_t num, EntryType type, std::uint64_t offset, std::uint32_t gen)
    : mp_doc(&doc), m_offset(offset), m_num(num), m_gen(gen), m_flags(type)
{
    SetDocOwned(this);
}

Indirect::~Indirect() { delete mp_obj.load(std::memory_order_relaxed); }

Obj* Indirect::Target() const
{
    if (Obj* p = mp_obj.load(std::memory_order_acquire)) return p;
    return mp_doc->Load(*const_cast<Indirect*>(this));
}

SDFDoc* Indirect::GetDoc() const { return &mp_doc->Facade(); }

std::uint16_t Indirect::GetGenNum() const
{
    return EntryKind() == e_compressed ? 0 : static_cast<std::uint16_t>(m_gen);
}

void Indirect::SetMark(bool mark)
{
    if (mark) m_flags |= kMark;
    else m_flags &= ~kMark;
}

DictIterator Indirect::DictBegin() const { return Target()->DictBegin(); }
DictIterator Indirect::DictEnd() const { return Target()->DictEnd(); }
DictIterator Indirect::Find(std::string_view key) const { return Target()->Find(key); }
DictIterator Indirect::Get(std::string_view key) const { return Target()->Get(key); }
void Indirect::Erase(DictIterator pos) { Target()->Erase(pos); }

std::unique_ptr<Filters::Filter> Indirect::GetRawStream(bool decrypt) const { return Target()->GetRawStream(decrypt); }
std::unique_ptr<Filters::Filter> Indirect::GetDecodedStream() const { return Target()->GetDecodedStream(); }

void Indirect::SetModified()
{
    if (m_flags & kModified) return;
    m_flags |= kModified;
    mp_doc->NoteModified(*this);
}

Obj* Indirect::PutSlot(std::string_view key, ObjSlot value) { return Target()->PutSlot(key, std::move(value)); }
Obj* Indirect::InsertSlot(std::size_t i, ObjSlot value) { return Target()->InsertSlot(i, std::move(value)); }
Obj* Indirect::PushBackSlot(ObjSlot value) { return Target()->PushBackSlot(std::move(value)); }
Obj* Indirect::ReplaceSlot(std::size_t i, ObjSlot value) { return Target()->ReplaceSlot(i, std::move(value)); }

std::unique_ptr<Obj> Indirect::SetReferent(std::unique_ptr<Obj> obj)
{
    Obj* old = mp_obj.load(std::memory_order_relaxed);
    if (obj) SetParent(obj.get(), this);
    mp_obj.store(obj.release(), std::memory_order_release);
    if (old) SetParent(old, nullptr);
    return std::unique_ptr<Obj>(old);
}

void Indirect::Reset(EntryType type, std::uint64_t offset, std::uint32_t gen)
{
    m_flags = static_cast<std::uint8_t>((m_flags & ~kTypeMask) | type);
    m_offset = offset;
    m_gen = gen;
}

}  // namespace qvx::SDF
