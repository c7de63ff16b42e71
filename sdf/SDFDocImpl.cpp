#include "sdf/SDFDocImpl.h"

#include <algorithm>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "filters/MappedFile.h"
#include "filters/MemoryFilter.h"
#include "sdf/ObjLoader.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

SDFDocImpl::SDFDocImpl(SDFDoc& facade) : mp_facade(&facade), mp_null(Null::CreateShared())
{
    SetTrailer(Dict::Create());
}

SDFDocImpl::~SDFDocImpl()
{
    // Entries hold referents whose containers borrow other entries; drop referents first
    // so no container outlives an entry it points to.
    for (auto& e : m_xref)
        if (e) e->SetReferent(nullptr);
}

Obj* SDFDocImpl::GetObj(std::uint32_t n) const
{
    if (m_xref.empty()) QVX_THROW("!m_xref.empty()", "Corrupt PDF");
    if (n >= m_xref.size()) n = 0;
    if (Indirect* e = m_xref[n].get()) return e;
    return mp_null.get();
}

void SDFDocImpl::Grow(std::uint32_t n)
{
    if (n < m_xref.size()) return;
    if (n >= m_xref.capacity()) m_xref.reserve(static_cast<std::size_t>(n) + 1024);
    m_xref.resize(static_cast<std::size_t>(n) + 1);
}

Indirect* SDFDocImpl::SetEntry(std::uint32_t n, Indirect::EntryType type, std::uint64_t offset, std::uint32_t gen)
{
    std::lock_guard lock(m_mutex);
    Grow(n);
    auto& slot = m_xref[n];
    if (!slot) slot = std::make_unique<Indirect>(*this, n, type, offset, gen);
    else slot->Reset(type, offset, gen);
    return slot.get();
}

void SDFDocImpl::ClearTable()
{
    std::lock_guard lock(m_mutex);
    for (auto& e : m_xref)
        if (e) e->SetReferent(nullptr);
    m_xref.clear();
    m_modified.clear();
    m_objstm_cache.clear();
    mp_security.reset();
    mp_output_security.reset();
    m_encrypt_num = 0;
    m_rebuilt_objstms.clear();
    SetTrailer(Dict::Create());
}

void SDFDocImpl::SetTrailer(std::unique_ptr<Obj> trailer)
{
    std::lock_guard lock(m_mutex);
    Grow(0);
    auto& e0 = m_xref[0];
    if (!e0) e0 = std::make_unique<Indirect>(*this, 0, Indirect::e_free, 0, 65535);
    else if (e0->EntryKind() != Indirect::e_free) e0->Reset(Indirect::e_free, 0, 65535);
    e0->SetReferent(std::move(trailer));
}

Obj* SDFDocImpl::GetTrailer() const
{
    Indirect* e0 = m_xref.empty() ? nullptr : m_xref[0].get();
    Obj* t = e0 ? e0->GetReferent() : nullptr;
    return t ? t : mp_null.get();
}

Obj* SDFDocImpl::GetRoot() const
{
    Obj* t = GetTrailer();
    Obj* root = t->IsDict() ? t->FindObj("Root") : nullptr;
    if (!root) QVX_THROW("root", "Doc root not found");
    return root;
}

Obj* SDFDocImpl::Load(Indirect& entry)
{
    std::lock_guard lock(m_mutex);
    if (Obj* p = entry.GetReferent()) return p;
    if (entry.IsFree()) QVX_THROW("!IsFree()", "Attempt to load a free object");
    if (entry.IsPlaceholder()) {
        // Never defined by any section: reads as null, but only once the table is complete.
        if (m_loading_xref) return mp_null.get();
        entry.SetReferent(Null::Create());
        return entry.GetReferent();
    }
    if (!mp_loader) QVX_THROW("mp_parser", "Document is not attached to a file");
    if (std::find(m_loading.begin(), m_loading.end(), &entry) != m_loading.end() ||
        m_loading.size() >= Common::Limits::kMaxNestedLoads)
        QVX_THROW("entry not in m_loading && m_loading.size() < Common::Limits::kMaxNestedLoads", "Compressed object stream is corrupt");
    m_loading.push_back(&entry);
    std::unique_ptr<Obj> obj;
    try {
        obj = mp_loader->LoadObject(entry);
    } catch (...) {
        m_loading.pop_back();
        throw;
    }
    m_loading.pop_back();
    entry.SetReferent(std::move(obj));
    return entry.GetReferent();
}

Indirect* SDFDocImpl::AddObj(std::unique_ptr<Obj> obj)
{
    std::lock_guard lock(m_mutex);
    if (obj && obj->GetParent())
        QVX_THROW("is_doc_null || d == NULL", "The object belongs to a different document");
    if (!obj) obj = Null::Create();
    Indirect* head = m_xref[0].get();
    std::uint64_t f = head ? head->GetOffset() : 0;
    if (f > 0 && f < m_xref.size() && (!m_xref[f] || m_xref[f]->IsFree())) {
        auto& slot = m_xref[f];
        std::uint32_t gen = slot ? (slot->GetField3() + 1) % 65536 : 1;
        std::uint64_t next = slot ? slot->GetOffset() : 0;
        head->Reset(Indirect::e_free, next, head->GetField3());
        if (!slot) slot = std::make_unique<Indirect>(*this, static_cast<std::uint32_t>(f), Indirect::e_in_use, 0, gen);
        else slot->Reset(Indirect::e_in_use, 0, gen);
        slot->SetEngineCreated();
        slot->SetReferent(std::move(obj));
        slot->SetModified();
        return slot.get();
    }
    auto n = static_cast<std::uint32_t>(m_xref.size());
    Indirect* e = SetEntry(n, Indirect::e_in_use, 0, 0);
    e->SetReferent(std::move(obj));
    e->SetModified();
    return e;
}

void SDFDocImpl::FreeObj(std::uint32_t n)
{
    std::lock_guard lock(m_mutex);
    Indirect* e = GetEntry(n);
    if (n == 0 || !e || e->IsFree()) return;
    Indirect* head = m_xref[0].get();
    e->SetReferent(nullptr);
    e->Reset(Indirect::e_free, head->GetOffset(), e->GetGenNum());
    head->Reset(Indirect::e_free, n, head->GetField3());
    e->SetModified();
}

void SDFDocImpl::Swap(Obj* a, Obj* b)
{
    std::lock_guard lock(m_mutex);
    Obj* ind1 = a;
    Obj* ind2 = b;
    if (!(ind1 && ind2 && ind1->IsIndirect() && ind2->IsIndirect() && !ind1->IsFree() && !ind2->IsFree()))
        QVX_THROW("ind1 && ind2 && ind1->IsIndirect() && ind2->IsIndirect() && !ind1->IsFree() && !ind2->IsFree()",
                  "Swap operation failed.");
    auto* e1 = static_cast<Indirect*>(ind1);
    auto* e2 = static_cast<Indirect*>(ind2);
    if (e1 == e2) return;
    e1->Resolve();
    e2->Resolve();
    std::unique_ptr<Obj> r1 = e1->SetReferent(nullptr);
    std::unique_ptr<Obj> r2 = e2->SetReferent(std::move(r1));
    e1->SetReferent(std::move(r2));
    e1->SetModified();
    e2->SetModified();
}

// Whether the mapping's first chunk is the whole file (the chunk stays mapped while the
// filter is not moved).
static bool WholeMapping(Filters::MappedFile& f)
{
    f.Seek(0, Filters::Filter::e_begin);
    return f.Size() == f.FileSize();
}

void SDFDocImpl::AttachFile(std::unique_ptr<Filters::Filter> file)
{
    m_file_path = file->GetFilePath();
    auto* mem = dynamic_cast<Filters::MemoryFilter*>(file.get());
    if (mem && mem->IsInputFilter()) {
        mem->Seek(0, Filters::Filter::e_begin);
        m_file_view = mem->Data();
    } else if (auto* mapped = dynamic_cast<Filters::MappedFile*>(file.get()); mapped && WholeMapping(*mapped)) {
        m_file_view = {mapped->Begin(), mapped->Size()};
    } else {
        Filters::FilterReader r(*file);
        auto whole = std::make_unique<Filters::MemoryFilter>(r.ReadAll());
        m_file_view = whole->Data();
        file = std::move(whole);
    }
    mp_file = std::move(file);
    m_file_size = m_file_view.size();
    m_updates.clear();
}

std::unique_ptr<Filters::Filter> SDFDocImpl::OpenRange(std::uint64_t offset, std::uint64_t length) const
{
    std::uint64_t size = m_file_view.size();
    offset = std::min(offset, size);
    length = std::min(length, size - offset);
    return Filters::MemoryFilter::View(m_file_view.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
}

void SDFDocImpl::SetLoader(std::unique_ptr<ObjLoader> loader) { mp_loader = std::move(loader); }

void SDFDocImpl::SetHeader(std::string text, std::uint64_t offset)
{
    m_header = std::move(text);
    m_header_offset = offset;
}

std::int32_t SDFDocImpl::HookLevel() const
{
    std::int32_t level = m_check.parser_level;
    return level >= 1 && level <= 12 ? level : 0;
}

void SDFDocImpl::SetSecurityHandler(std::shared_ptr<SecurityHandler> handler)
{
    std::lock_guard lock(m_mutex);
    mp_security = std::move(handler);
    m_objstm_cache.clear();
    // Objects read before the handler was known hold undecrypted strings.
    for (std::size_t n = 1; n < m_xref.size(); ++n) {
        Indirect* e = m_xref[n].get();
        if (e && e->IsLoaded() && !e->IsModified() && n != m_encrypt_num && e->GetOffset() != 0)
            e->SetReferent(nullptr);
    }
}

void SDFDocImpl::NoteModified(Indirect& entry) { m_modified.push_back(entry.GetObjNum()); }

void SDFDocImpl::ClearModified()
{
    for (std::uint32_t n : m_modified)
        if (Indirect* e = GetEntry(n)) e->ClearModified();
    m_modified.clear();
}

}  // namespace qvx::SDF

namespace qvx::SDF {

std::shared_ptr<const ObjStmData> SDFDocImpl::GetObjStm(std::uint32_t stm_num)
{
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_objstm_cache.size(); ++i) {
        if (m_objstm_cache[i].first != stm_num) continue;
        auto hit = m_objstm_cache[i];
        m_objstm_cache.erase(m_objstm_cache.begin() + static_cast<std::ptrdiff_t>(i));
        m_objstm_cache.insert(m_objstm_cache.begin(), hit);
        return hit.second;
    }
    auto data = ReadObjStm(*GetObj(stm_num));
    m_objstm_cache.insert(m_objstm_cache.begin(), {stm_num, data});
    if (m_objstm_cache.size() > 8) m_objstm_cache.pop_back();
    return data;
}

}  // namespace qvx::SDF
