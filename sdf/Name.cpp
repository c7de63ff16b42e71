#include "sdf/Name.h"

#include <cstring>

#include "common/Exception.h"

namespace qvx::SDF {

Name::Name(std::string_view text) { Assign(text); }

Name::Name(Name&& o) noexcept : Obj() { Steal(o); }

Name& Name::operator=(Name&& o) noexcept
{
    if (this != &o) {
        Free();
        Steal(o);
    }
    return *this;
}

Name::~Name() { Free(); }

void Name::Steal(Name& o) noexcept
{
    mp_parent = o.mp_parent;
    m_size = o.m_size;
    m_storage = o.m_storage;
    if (m_storage == e_inline) std::memcpy(m_inline, o.m_inline, m_size);
    else mp_text = o.mp_text;
    o.m_storage = e_inline;
    o.m_size = 0;
}

void Name::Free()
{
    if (m_storage == e_heap) delete[] mp_text;
    m_storage = e_inline;
    m_size = 0;
}

void Name::Assign(std::string_view text)
{
    QVX_CHECK(text.size() < (std::uint64_t{1} << 32), "Name too long");
    m_size = static_cast<std::uint32_t>(text.size());
    if (const char* p = PredefinedNames::Find(text)) {
        mp_text = p;
        m_storage = e_predefined;
    } else if (text.size() <= kInline) {
        std::memcpy(m_inline, text.data(), text.size());
        m_storage = e_inline;
    } else {
        char* p2 = new char[text.size()];
        std::memcpy(p2, text.data(), text.size());
        mp_text = p2;
        m_storage = e_heap;
    }
}

void Name::SetName(std::string_view text)
{
    if (text == Text()) return;
    Name fresh(text);
    fresh.mp_parent = mp_parent;
    *this = std::move(fresh);
    SetModified();
}

std::unique_ptr<Obj> Name::Clone() const { return Create(Text()); }

}  // namespace qvx::SDF
