#pragma once
// Deflates what is written into it and pushes the compressed bytes to the attached sink.
// Finish() writes the end of the zlib stream.

#include <zlib.h>

#include "filters/Filter.h"

namespace qvx::Filters {

class FlateEncode : public BufFilter {
public:
    // level: 0 to 9 (larger values count as 9); negative takes zlib's default.
    // raw: a bare deflate stream without zlib header or checksum.
    explicit FlateEncode(std::unique_ptr<Filter> out, int level = -1, bool raw = false);
    ~FlateEncode() override;

    const char* GetName() const override { return "FlateEncode"; }
    const char* GetDecodeName() const override { return "FlateDecode"; }

protected:
    void Drain(const Byte* data, std::size_t size, bool final) override;

private:
    z_stream m_zs{};
};

}  // namespace qvx::Filters
