#include "pdf/ContentLexer.h"
#include "pdf/ContentLexerReader.h"

#include "common/Exception.h"
#include "common/Limits.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;


ContentLexer::ContentLexer(Common::ByteView data) : ContentLexer(data, nullptr, 0) {}
ContentLexer::ContentLexer(Common::ByteView data, SDF::SDFDocImpl* doc, std::uint32_t stream_num)
    : m_data(data), mp_reader(std::make_unique<Reader>(data, doc, stream_num))
{
}
ContentLexer::~ContentLexer() = default;
ContentLexer::ContentLexer(ContentLexer&&) noexcept = default;
ContentLexer& ContentLexer::operator=(ContentLexer&&) noexcept = default;

std::size_t ContentLexer::Position() const { return static_cast<std::size_t>(mp_reader->Tell()); }

bool ContentLexer::ReadUntilKeyword(std::uint8_t& flags)
{
    Reader& r = *mp_reader;
    for (;;) {
        std::uint64_t before = r.Tell();
        bool got;
        try {
            got = r.GetObj();
        } catch (const Common::Exception&) {
            // A stray ), a broken string or dictionary: drop what was open and go on after it.
            flags |= Operation::e_bad_token;
            r.ClearStack();
            if (r.Tell() <= before) r.Seek(before + 1);
            if (r.Tell() >= m_data.size()) {
                m_ended_inside = true;
                return false;
            }
            continue;
        }
        if (got) {
            if (r.StackSize() > Common::Limits::kMaxOperands) {
                flags |= Operation::e_too_many;
                r.ClearStack();
            }
            continue;
        }
        std::string_view tok = r.Token();
        if (tok.empty()) {
            if (r.StackSize() > 0) m_ended_inside = true;
            return false;
        }
        if (tok == "{" || tok == "}" || tok == "]") {
            flags |= Operation::e_bad_token;
            continue;
        }
        m_keyword.assign(tok);
        return true;
    }
}

void ContentLexer::TakeOperands(std::uint8_t& flags)
{
    Reader& r = *mp_reader;
    std::size_t n = r.StackSize();
    m_operands.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        Operand& o = m_operands[i];
        o = Operand();
        if (r.IsNumberAt(i)) {
            o.kind = Operand::e_number;
            o.number = r.NumberAt(i);
            continue;
        }
        std::unique_ptr<Obj> obj = r.TakeAt(i);
        if (!obj) continue;
        switch (obj->GetType()) {
        case Obj::e_bool:
            o.kind = Operand::e_bool;
            o.boolean = obj->GetBool();
            break;
        case Obj::e_name:
            o.kind = Operand::e_name;
            o.text.assign(obj->GetName());
            break;
        case Obj::e_string:
            o.kind = Operand::e_string;
            o.text.assign(Common::AsChars(obj->GetBuffer()));
            break;
        case Obj::e_array:
            o.kind = Operand::e_array;
            o.obj = std::move(obj);
            break;
        case Obj::e_dict:
            o.kind = Operand::e_dict;
            o.obj = std::move(obj);
            break;
        default: break;  // null
        }
    }
    r.ClearStack();
    (void)flags;
}

bool ContentLexer::Next(Operation& out)
{
    out = Operation();
    out.operands = &m_operands;
    m_operands.clear();
    if (!ReadUntilKeyword(out.flags)) {
        mp_reader->ClearStack();
        return false;
    }
    TakeOperands(out.flags);
    m_op_keyword = m_keyword;
    out.keyword = m_op_keyword;
    out.offset = static_cast<std::size_t>(mp_reader->Tell()) - m_keyword.size();
    out.op = OpFromKeyword(m_op_keyword);
    if (out.op == Op::e_BI) ReadInlineImage(out);
    if (out.flags & Operation::e_unterminated) m_ended_inside = true;
    return true;
}

}  // namespace qvx::PDF
