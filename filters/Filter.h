#pragma once
// A filter is one stage of a byte chain. Input chains are pulled: a reader asks the top
// filter for bytes (Begin/Size), uses some (Consume), and each filter refills itself from
// the filter attached below it. Output chains are pushed: a writer fills the space the top
// filter offers (Begin/Size/Consume) and each filter hands its output to the filter
// attached below it when its buffer is full, on Flush, and finally on Finish.
//
// Ownership: a filter owns the filter attached to it (AttachFilter takes it, Release gives
// it back). Sources and sinks have no attached filter.

#include <cstdint>
#include <memory>
#include <string>

#include "common/Buffer.h"

namespace qvx::Filters {

using Common::Byte;

class Filter {
public:
    enum Direction { e_input, e_output };
    enum ReferencePos { e_begin = 0, e_cur = 1, e_end = 2 };

    explicit Filter(Direction dir, std::unique_ptr<Filter> attached = nullptr);
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;
    virtual ~Filter();

    virtual void AttachFilter(std::unique_ptr<Filter> next);
    virtual std::unique_ptr<Filter> ReleaseAttachedFilter();
    virtual Filter* GetAttachedFilter() const { return mp_attached.get(); }
    // Follows the attached filters down to the source (or sink) of the chain.
    virtual Filter* GetSourceFilter();

    // The PDF name of the filter, e.g. "FlateDecode".
    virtual const char* GetName() const = 0;
    // The name of the decoder that undoes this filter (an encoder names its decoder).
    virtual const char* GetDecodeName() const { return GetName(); }

    // Input: the next available bytes, refilling when empty; Size() == 0 means end of data.
    // Output: the free space to write into, draining when full.
    virtual Byte* Begin() = 0;
    virtual std::size_t Size() = 0;
    virtual void Consume(std::size_t n) = 0;
    // Bytes consumed (input) or accepted (output) so far.
    virtual std::uint64_t Count() const = 0;
    // Replaces the count and returns the old value.
    virtual std::uint64_t SetCount(std::uint64_t count) = 0;

    // Decoders may use the expected length of their encoded input as a hint.
    virtual void SetStreamLength(std::uint64_t len) { m_stream_length = len; }
    virtual std::uint64_t GetStreamLength() const { return m_stream_length; }

    bool IsInputFilter() const { return m_dir == e_input; }

    virtual bool CanSeek() const { return false; }
    virtual void Seek(std::int64_t offset, ReferencePos origin);
    virtual std::int64_t Tell();
    // A new reader over the same data with its own position.
    virtual std::unique_ptr<Filter> CreateInputIterator();
    virtual std::string GetFilePath() const { return {}; }
    virtual void Truncate(std::int64_t size);

    // Output: pushes buffered bytes down the chain (this filter and those below it).
    virtual void Flush();
    // Output: ends the data; encoders write their trailers. Flushes the whole chain.
    virtual void Finish();
    // Read-write sources switch direction with this.
    virtual void SetReadMode(bool read);

protected:
    Direction m_dir;
    std::unique_ptr<Filter> mp_attached;
    std::uint64_t m_stream_length = 0;
};

// Base of the buffered decoders and encoders.
//
// Input: Fill() is called when the window is empty and writes decoded bytes into the
// buffer; returning 0 ends the data for good. Output: Drain() is called with the bytes
// written so far when the buffer is full, on Flush and (with final set) on Finish.
// An input filter stops with an exception once it has produced more than its output
// budget, so that decompression bombs cost little.
class BufFilter : public Filter {
public:
    BufFilter(Direction dir, std::unique_ptr<Filter> attached, std::size_t buf_size = 1 << 16);

    Byte* Begin() override;
    std::size_t Size() override;
    void Consume(std::size_t n) override;
    std::uint64_t Count() const override { return m_count; }
    std::uint64_t SetCount(std::uint64_t count) override;
    void Flush() override;
    void Finish() override;

    // Most bytes an input filter may produce (0: no limit).
    void SetOutputBudget(std::uint64_t budget) { m_budget = budget; }

protected:
    virtual std::size_t Fill(Byte* buf, std::size_t capacity);
    virtual void Drain(const Byte* data, std::size_t size, bool final);

    // Pulls up to n bytes from the attached filter; returns how many arrived.
    std::size_t ReadInput(Byte* dst, std::size_t n);
    // The attached filter's window, refilled when empty; empty at the end of its data.
    // Decoders work in it directly and then consume what they used.
    Common::ByteView PeekInput();
    void ConsumeInput(std::size_t n) { mp_attached->Consume(n); }
    // Pushes bytes into the attached filter; throws when it stops taking them.
    void WriteOutput(const Byte* data, std::size_t n);

private:
    void Refill();

    Common::Bytes m_buf;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    std::uint64_t m_count = 0;
    std::uint64_t m_produced = 0;
    std::uint64_t m_budget = 0;
    bool m_eof = false;
    bool m_finished = false;
};

}  // namespace qvx::Filters
