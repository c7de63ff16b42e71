#pragma once
// A PDF name. Text in the predefined table is referenced, not copied; short text lives
// inside the object; longer text is owned on the heap. Comparison always uses the bytes.

#include <string_view>

#include "sdf/Obj.h"

namespace qvx::SDF {

class Name final : public Obj {
public:
    explicit Name(std::string_view text);
    Name(Name&& o) noexcept;
    Name& operator=(Name&& o) noexcept;
    ~Name() override;
    static std::unique_ptr<Name> Create(std::string_view text) { return std::make_unique<Name>(text); }

    Type GetType() const override { return e_name; }
    std::unique_ptr<Obj> Clone() const override;
    std::string_view GetName() const override { return Text(); }
    void SetName(std::string_view text) override;

    std::string_view Text() const { return {m_storage == e_inline ? m_inline : mp_text, m_size}; }
    // True when the text refers to the predefined-name table.
    bool IsPredefined() const { return m_storage == e_predefined; }

private:
    enum Storage : std::uint8_t { e_predefined, e_inline, e_heap };
    static constexpr std::size_t kInline = 16;
    void Assign(std::string_view text);
    void Free();
    void Steal(Name& o) noexcept;

    union {
        const char* mp_text;
        char m_inline[kInline];
    };
    std::uint32_t m_size = 0;
    Storage m_storage = e_inline;
};

// The predefined-name table: frequent PDF names, filled once.
namespace PredefinedNames {
// The table's copy of text, or null when text is not predefined.
const char* Find(std::string_view text);
std::size_t Count();
}  // namespace PredefinedNames

}  // namespace qvx::SDF
