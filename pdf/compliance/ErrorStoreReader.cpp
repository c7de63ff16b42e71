#include "pdf/compliance/ErrorStoreReader.h"

#include <iterator>

#include "common/Exception.h"
#include "pdf/compliance/ErrorCatalogue.h"

namespace qvx::PDF {

namespace {

// Moves a cached position (pos, it) over a sorted container to index, stepping forward
// from the cache when that is shorter than starting again at the front.
template <class C>
void Seek(const C& c, int index, int& pos, typename C::const_iterator& it)
{
    if (pos < 0 || index < pos) {
        pos = 0;
        it = c.begin();
    }
    it = std::next(it, index - pos);
    pos = index;
}

}  // namespace

int ErrorStoreReader::GetErrorCount() const { return static_cast<int>(mp_store->Records().size()); }

std::int32_t ErrorStoreReader::GetError(int index) const
{
    if (index < 0 || index >= GetErrorCount()) QVX_THROW_IN("", "", "Bad error index");
    Seek(mp_store->Records(), index, m_error_pos, m_error_it);
    return m_error_it->first;
}

const SDF::ErrorRecord& ErrorStoreReader::Record(std::int32_t code) const
{
    auto itr = mp_store->Records().find(code);
    if (itr == mp_store->Records().end()) QVX_THROW_IN("itr != _err.end()", "GetRefs", "Bad error id");
    return itr->second;
}

int ErrorStoreReader::GetRefCount(std::int32_t code) const { return static_cast<int>(Record(code).refs.size()); }

std::uint32_t ErrorStoreReader::GetRef(std::int32_t code, int index) const
{
    const SDF::ErrorRecord& rec = Record(code);
    if (index < 0 || static_cast<std::size_t>(index) >= rec.refs.size()) return 0;
    if (mp_ref_record != &rec) {
        mp_ref_record = &rec;
        m_ref_pos = -1;
    }
    Seek(rec.refs, index, m_ref_pos, m_ref_it);
    return *m_ref_it;
}

const char* ErrorStoreReader::GetErrorMessage(std::int32_t code)
{
    const char* message = FindErrorMessage(code);
    return message ? message : "Bad id";
}

}  // namespace qvx::PDF
