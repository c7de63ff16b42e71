#include "pdf/compliance/ErrorStoreReader.h"

#include <iterator>

#include "common/Exception.h"
#include "pdf/compliance/ErrorCatalogue.h"

namespace qvx::PDF {

int ErrorStoreReader::GetErrorCount() const { return static_cast<int>(mp_store->Records().size()); }

std::int32_t ErrorStoreReader::GetError(int index) const
{
    if (index < 0 || index >= GetErrorCount()) QVX_THROW_IN("index >= 0 && index < GetErrorCount()", "", "Bad error index");
    return std::next(begin(), index)->first;
}

const SDF::ErrorRecord& ErrorStoreReader::Record(std::int32_t code) const
{
    auto itr = mp_store->Records().find(code);
    if (itr == end()) QVX_THROW_IN("itr != _err.end()", "GetRefs", "Bad error id");
    return itr->second;
}

int ErrorStoreReader::GetRefCount(std::int32_t code) const { return static_cast<int>(Record(code).refs.size()); }

std::uint32_t ErrorStoreReader::GetRef(std::int32_t code, int index) const
{
    const SDF::ErrorRecord& rec = Record(code);
    if (index < 0 || static_cast<std::size_t>(index) >= rec.refs.size()) return 0;
    return *std::next(rec.refs.begin(), index);
}

const char* ErrorStoreReader::GetErrorMessage(std::int32_t code)
{
    const char* message = FindErrorMessage(code);
    return message ? message : "Bad id";
}

}  // namespace qvx::PDF
