#pragma once
// A PDF string: a byte vector, which may hold NUL bytes.

#include "sdf/Obj.h"

namespace qvx::SDF {

class Str final : public Obj {
public:
    explicit Str(Common::Bytes bytes) : m_bytes(std::move(bytes)) {}
    static std::unique_ptr<Str> Create(Common::ByteView bytes)
    {
        return std::make_unique<Str>(Common::Bytes(bytes.begin(), bytes.end()));
    }
    static std::unique_ptr<Str> Create(std::string_view bytes) { return Create(Common::AsBytes(bytes)); }

    Type GetType() const override { return e_string; }
    std::unique_ptr<Obj> Clone() const override { return std::make_unique<Str>(m_bytes); }
    Common::ByteView GetBuffer() const override { return m_bytes; }
    void SetString(Common::ByteView bytes) override;
    std::size_t Size() const override { return m_bytes.size(); }

private:
    Common::Bytes m_bytes;
};

}  // namespace qvx::SDF
