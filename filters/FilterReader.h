#pragma once
// Reads an input chain: single bytes with one byte of look-ahead, and blocks.
// The reader does not own the filter.

#include <string>

#include "filters/Filter.h"

namespace qvx::Filters {

class FilterReader {
public:
    FilterReader() = default;
    explicit FilterReader(Filter& f) : mp_filter(&f) {}
    void AttachFilter(Filter& f) { mp_filter = &f; }
    Filter* GetAttachedFilter() const { return mp_filter; }

    // The next byte, or -1 at the end of data.
    int Get()
    {
        if (mp_filter->Size() == 0) return -1;
        int c = *mp_filter->Begin();
        mp_filter->Consume(1);
        return c;
    }
    // The next byte without consuming it, or -1.
    int Peek() { return mp_filter->Size() == 0 ? -1 : *mp_filter->Begin(); }

    // Reads up to n bytes; returns how many were read.
    std::size_t Read(Byte* dst, std::size_t n);
    // Reads everything that is left.
    Common::Bytes ReadAll();
    // Skips up to n bytes; returns how many were skipped.
    std::size_t Skip(std::size_t n);

    void Seek(std::int64_t offset, Filter::ReferencePos origin) { mp_filter->Seek(offset, origin); }
    std::int64_t Tell() { return mp_filter->Tell(); }
    std::uint64_t Count() const { return mp_filter->Count(); }

private:
    Filter* mp_filter = nullptr;
};

// Writes to an output chain. The writer does not own the filter.
class FilterWriter {
public:
    FilterWriter() = default;
    explicit FilterWriter(Filter& f) : mp_filter(&f) {}
    void AttachFilter(Filter& f) { mp_filter = &f; }
    Filter* GetAttachedFilter() const { return mp_filter; }

    void WriteUChar(Byte c) { WriteBuffer(&c, 1); }
    // Throws "Output stream is corrupt" when the sink stops taking bytes.
    void WriteBuffer(const Byte* data, std::size_t n);
    void WriteBuffer(Common::ByteView data) { WriteBuffer(data.data(), data.size()); }
    void WriteString(std::string_view s) { WriteBuffer(Common::AsBytes(s)); }
    // Copies everything left in an input chain.
    void WriteFilter(FilterReader& reader);

    void Flush() { mp_filter->Flush(); }
    // Ends the data: encoders below write their trailers.
    void Finish() { mp_filter->Finish(); }
    std::uint64_t Count() const { return mp_filter->Count(); }

private:
    Filter* mp_filter = nullptr;
};

}  // namespace qvx::Filters
