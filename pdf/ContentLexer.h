#pragma once
// Splits content-stream bytes into operations: an operator with the operands before it.
// Tokens and operands are read by the object parser (sdf/Parser, without references);
// numbers, names, strings, booleans and null are kept unboxed here, arrays and
// dictionaries become objects owned by the operand. Inline images (BI ... ID data EI) come
// out as one operation whose dictionary has its keys expanded and whose data is located
// with the image's size when it can be computed, else by looking for an EI that is
// followed by what can only be content.
//
// The lexer never throws on bad input: damaged syntax is skipped and reported in the
// operation's flags (Operation::e_*), keywords that are no operator come out as Op::e_unknown.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Buffer.h"
#include "pdf/ContentOps.h"
#include "sdf/Obj.h"

namespace qvx::SDF {
class SDFDocImpl;
}

namespace qvx::PDF {

struct Operand {
    enum Kind : std::uint8_t { e_null, e_bool, e_number, e_name, e_string, e_array, e_dict };
    Kind kind = e_null;
    bool boolean = false;
    double number = 0;
    std::string text;                 // name (escapes decoded) or string bytes
    std::unique_ptr<SDF::Obj> obj;    // array or dictionary

    bool IsNumber() const { return kind == e_number; }
    bool IsName() const { return kind == e_name; }
    bool IsString() const { return kind == e_string; }
    Common::ByteView Bytes() const { return Common::AsBytes(text); }
};

struct Operation {
    // Problems met while reading this operation.
    enum Flag : std::uint8_t {
        e_bad_token = 1,        // a stray delimiter or an unterminated object was skipped
        e_too_many = 2,         // operands beyond the limit were dropped
        e_unterminated = 4,     // the data ended inside a string, array, dictionary or image
        e_bad_inline_image = 8, // BI without ID, or an inline-image dictionary that is damaged
    };
    Op op = Op::e_unknown;
    std::string_view keyword;         // the operator as written
    std::vector<Operand>* operands = nullptr;
    std::size_t offset = 0;           // of the operator keyword in the data
    std::uint8_t flags = 0;
    // Inline images (op == e_BI): the dictionary with full keys, and the image data.
    SDF::Obj* inline_dict = nullptr;
    Common::ByteView inline_data;

    const std::vector<Operand>& Operands() const { return *operands; }
    std::size_t Size() const { return operands->size(); }
    const Operand& operator[](std::size_t i) const { return (*operands)[i]; }
};

class ContentLexer {
public:
    explicit ContentLexer(Common::ByteView data);
    // During a compliance run the token checks of the object parser (hex strings, name and
    // string lengths, number ranges) also cover content: findings are recorded in doc's
    // check state against object stream_num.
    ContentLexer(Common::ByteView data, SDF::SDFDocImpl* doc, std::uint32_t stream_num);
    ~ContentLexer();
    ContentLexer(ContentLexer&&) noexcept;
    ContentLexer& operator=(ContentLexer&&) noexcept;

    // Reads the next operation; false at the end of the data (operands left without an
    // operator are dropped). The operation and its operands stay valid until the next call.
    bool Next(Operation& out);
    // Whether the data ended inside an operation: operands without their operator, an object
    // left open, or an operation flagged e_unterminated (what a cut file leaves). Told once.
    bool TakeEndedInside() { return std::exchange(m_ended_inside, false); }
    std::size_t Position() const;
    Common::ByteView Data() const { return m_data; }

private:
    class Reader;
    // Reads objects until a keyword: false at the end of the data. Damage is skipped.
    bool ReadUntilKeyword(std::uint8_t& flags);
    // Moves the parser's stack into m_operands.
    void TakeOperands(std::uint8_t& flags);
    void ReadInlineImage(Operation& out);
    std::size_t InlineDataLength(const SDF::Obj* dict) const;
    bool FindEI(std::size_t from, bool binary, std::size_t& data_end, std::size_t& after) const;

    Common::ByteView m_data;
    std::unique_ptr<Reader> mp_reader;
    std::string m_keyword;     // the last keyword read
    std::string m_op_keyword;  // the keyword of the operation handed out
    std::vector<Operand> m_operands;
    std::unique_ptr<SDF::Obj> mp_inline_dict;
    bool m_ended_inside = false;
};

}  // namespace qvx::PDF
