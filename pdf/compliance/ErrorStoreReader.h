#pragma once
// A finished run's errors read back: a range over the records, codes in ascending signed
// order (PDF/UA codes first), each with its kept object numbers in ascending order.

#include <cstdint>
#include <cstddef>

#include "sdf/CheckState.h"

namespace qvx::PDF {

class ErrorStoreReader {
public:
    // Each element is a (code, record) pair; record.refs holds the object numbers.
    using const_iterator = SDF::ErrorStore::Map::const_iterator;

    // The store must outlive the reader and stay unchanged while it is read.
    explicit ErrorStoreReader(const SDF::ErrorStore& store) : mp_store(&store) {}

    const_iterator begin() const { return mp_store->Records().begin(); }
    const_iterator end() const { return mp_store->Records().end(); }

    // Positional access, for the run's index interface; each call walks from the front, so
    // a full walk reads the range instead.
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
};

}  // namespace qvx::PDF
