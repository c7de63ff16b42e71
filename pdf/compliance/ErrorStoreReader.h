#pragma once
// Reads a finished run's errors back by position: codes in ascending signed order (PDF/UA
// codes first), and per code its kept object numbers in ascending order.

#include <cstdint>
#include <cstddef>

#include "sdf/CheckState.h"

namespace qvx::PDF {

class ErrorStoreReader {
public:
    // The store must outlive the reader and stay unchanged while it is read.
    explicit ErrorStoreReader(const SDF::ErrorStore& store) : mp_store(&store) {}

    int GetErrorCount() const;
    // Throws "Bad error index" when index is not below the count.
    std::int32_t GetError(int index) const;
    // Both throw "Bad error id" for a code that is not in the store.
    int GetRefCount(std::int32_t code) const;
    // 0 when index is past the last kept number.
    std::uint32_t GetRef(std::int32_t code, int index) const;
    // The catalogue message, or "Bad id" for a code the catalogue lacks.
    static const char* GetErrorMessage(std::int32_t code);

private:
    const SDF::ErrorRecord& Record(std::int32_t code) const;

    const SDF::ErrorStore* mp_store;
    // Callers walk indexes upwards; remembering the last position keeps a full walk linear
    // even with thousands of numbers under one code.
    mutable int m_error_pos = -1;
    mutable SDF::ErrorStore::Map::const_iterator m_error_it;
    mutable const SDF::ErrorRecord* mp_ref_record = nullptr;
    mutable int m_ref_pos = -1;
    mutable std::set<std::uint32_t>::const_iterator m_ref_it;
};

}  // namespace qvx::PDF
