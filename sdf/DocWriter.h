#pragma once
// Writes the objects of one save: indirect objects framed as "n g obj" ... "endobj", with
// strings and stream data encrypted for their object when the save is encrypted, and the
// offset of every byte known (relative to the header, as cross-reference data needs it).

#include <cstdint>
#include <string_view>
#include <vector>

#include "sdf/ObjWriter.h"

namespace qvx::SDF {

class SecurityHandler;

class DocWriter final : public ObjWriter {
public:
    // base: the offset of the first byte written through w (bytes of the file before it,
    // less the header offset; negative when w also writes bytes before the header).
    DocWriter(Filters::FilterWriter& w, std::int64_t base) : ObjWriter(w), m_base(base) {}

    // Strings and streams of the objects written next are encrypted with handler (none:
    // null), strings written as hex strings when hex is set.
    void SetOutput(SecurityHandler* handler, bool hex)
    {
        mp_handler = handler;
        m_hex = hex;
    }

    // References are written with the new numbers of map (indexed by the entry's number,
    // generation 0); an entry whose new number is 0 is not written and becomes null.
    // map must outlive the writing; null writes the numbers as they are.
    void SetRenumbering(const std::vector<std::uint32_t>* map) { mp_renumber = map; }

    // Offset of the next byte.
    std::uint64_t Offset() const { return static_cast<std::uint64_t>(m_base + static_cast<std::int64_t>(Written())); }
    void WriteText(std::string_view text);

    // num gen obj CR, body, CR endobj CR. encrypt: apply the handler to this object (false
    // for objects that are never encrypted, such as cross-reference streams).
    void WriteIndirect(std::uint32_t num, std::uint16_t gen, const Obj& body, bool encrypt = true);
    // The body alone, nothing encrypted (objects inside object streams, trailers).
    void WritePlain(const Obj& body);

protected:
    void WriteString(const Obj& str) override;
    Common::Bytes StreamData(const Obj& stream) override;
    void WriteReference(const Obj& entry) override;

private:
    const std::vector<std::uint32_t>* mp_renumber = nullptr;
    std::int64_t m_base;
    SecurityHandler* mp_handler = nullptr;
    bool m_hex = false;
    // The object being written, when its strings and streams are encrypted.
    bool m_encrypting = false;
    std::uint32_t m_num = 0;
    std::uint16_t m_gen = 0;
};

}  // namespace qvx::SDF
