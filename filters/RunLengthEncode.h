#pragma once
// Run-length encoding: runs of two or more equal bytes become repeats, everything else
// literal blocks of up to 128 bytes; Finish writes the end byte 128.

#include "filters/Filter.h"

namespace qvx::Filters {

class RunLengthEncode : public BufFilter {
public:
    explicit RunLengthEncode(std::unique_ptr<Filter> out);

    const char* GetName() const override { return "RunLengthEncode"; }
    const char* GetDecodeName() const override { return "RunLengthDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    void FlushLiteral();
    void EndRun();

    Common::Bytes m_literal;  // pending literal bytes, at most 128
    int m_run_byte = -1;      // the byte of the pending run
    std::size_t m_run = 0;    // its length so far, at most 128
    Common::Bytes m_out;
};

}  // namespace qvx::Filters
