#include "sdf/Stream.h"

#include <algorithm>

#include "common/Exception.h"
#include "filters/MemoryFilter.h"
#include "sdf/Scalars.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"
#include "sdf/StreamFilters.h"
#include "sdf/StreamLength.h"

namespace qvx::SDF {

Stream::Stream(std::unique_ptr<Dict> dict) : mp_dict(dict ? std::move(dict) : Dict::Create())
{
    SetParent(mp_dict.get(), this);
}

Obj* Stream::PutSlot(std::string_view key, ObjSlot value)
{
    return static_cast<Obj*>(mp_dict.get())->PutSlot(key, std::move(value));
}

std::unique_ptr<Filters::Filter> Stream::GetDecodedStream() const { return GetDecodedStreamHlp(*this); }

FileStream::FileStream(std::unique_ptr<Dict> dict, SDFDocImpl& doc, std::uint64_t data_offset)
    : Stream(std::move(dict)), mp_file(&doc), m_data_offset(data_offset)
{
}

FileStream::FileStream(std::unique_ptr<Dict> dict, Common::Bytes data) : Stream(std::move(dict))
{
    mp_dict->PutNumber("Length", static_cast<double>(data.size()));
    m_data = std::move(data);
}

std::unique_ptr<FileStream> FileStream::Create(Common::Bytes data, std::unique_ptr<Dict> dict)
{
    return std::make_unique<FileStream>(std::move(dict), std::move(data));
}

std::unique_ptr<Obj> FileStream::Clone() const
{
    auto dict = std::unique_ptr<Dict>(static_cast<Dict*>(mp_dict->Clone().release()));
    if (m_data) return Create(*m_data, std::move(dict));
    auto raw = GetRawStream(true);
    Common::Bytes data;
    while (std::size_t n = raw->Size()) {
        data.insert(data.end(), raw->Begin(), raw->Begin() + n);
        raw->Consume(n);
    }
    return Create(std::move(data), std::move(dict));
}

std::uint64_t FileStream::GetRawStreamLength() const
{
    if (m_data) return m_data->size();
    if (!m_length) {
        std::lock_guard lock(mp_file->Mutex());
        m_length = FindStreamLength(*mp_file, *mp_dict, m_data_offset);
    }
    return *m_length;
}

static bool IsXRefStream(const Dict& d)
{
    Obj* t = d.FindObj("Type");
    return t && t->IsName() && t->GetName() == "XRef";
}

std::unique_ptr<Filters::Filter> FileStream::GetRawStream(bool decrypt) const
{
    if (m_data) return Filters::MemoryFilter::View(*m_data);
    std::uint64_t len = GetRawStreamLength();
    auto raw = mp_file->OpenRange(m_data_offset, len);
    raw->SetStreamLength(len);
    SecurityHandler* sh = mp_file->GetSecurityHandler();
    if (!decrypt || !sh || IsXRefStream(*mp_dict) || !GetParent() || !GetParent()->IsIndirect()) return raw;
    const Obj* owner = GetParent();
    return sh->DecryptStream(std::move(raw), *this, owner->GetObjNum(), owner->GetGenNum());
}

void FileStream::SetStreamData(Common::Bytes data)
{
    mp_dict->PutNumber("Length", static_cast<double>(data.size()));
    m_data = std::move(data);
    m_length.reset();
    SetModified();
}

}  // namespace qvx::SDF
