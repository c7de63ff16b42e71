#include "sdf/DocWriter.h"

#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/Obj.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

void DocWriter::WriteText(std::string_view text) { Out() += text; }

void DocWriter::WriteIndirect(std::uint32_t num, std::uint16_t gen, const Obj& body, bool encrypt)
{
    std::string& out = Out();
    out += std::to_string(num);
    out += ' ';
    out += std::to_string(gen);
    out += " obj\r";
    m_encrypting = encrypt && mp_handler;
    m_num = num;
    m_gen = gen;
    WriteDirect(body);
    m_encrypting = false;
    Out() += "\rendobj\r";
}

void DocWriter::WritePlain(const Obj& body) { WriteDirect(body); }

void DocWriter::WriteReference(const Obj& entry)
{
    if (!mp_renumber || entry.GetObjNum() == 0) {
        ObjWriter::WriteReference(entry);
        return;
    }
    std::uint32_t old = entry.GetObjNum();
    std::uint32_t n = old < mp_renumber->size() ? (*mp_renumber)[old] : 0;
    Out() += n == 0 ? "null" : std::to_string(n) + " 0 R";
}

void DocWriter::WriteString(const Obj& str)
{
    if (!m_encrypting) {
        if (m_hex || mp_handler) AppendHexString(Out(), str.GetBuffer());
        else AppendLiteralString(Out(), str.GetBuffer());
        return;
    }
    Common::ByteView plain = str.GetBuffer();
    Common::Bytes bytes(plain.begin(), plain.end());
    mp_handler->EncryptString(bytes, m_num, m_gen);
    AppendHexString(Out(), bytes);
}

Common::Bytes DocWriter::StreamData(const Obj& stream)
{
    Common::Bytes plain = ObjWriter::StreamData(stream);
    if (!m_encrypting) return plain;
    auto enc = mp_handler->EncryptStream(Filters::MemoryFilter::View(plain), stream, m_num, m_gen);
    Filters::FilterReader r(*enc);
    return r.ReadAll();
}

}  // namespace qvx::SDF
