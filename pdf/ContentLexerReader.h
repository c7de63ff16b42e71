#pragma once
// The parser the content lexer reads tokens with (private to the lexer's files).

#include "pdf/ContentLexer.h"
#include "sdf/Parser.h"

namespace qvx::PDF {

// The object parser without references: R is an operator like any other keyword here.
// With a document, its syntax findings go to the document's check state against the
// content stream's object.
class ContentLexer::Reader : public SDF::Parser {
public:
    Reader(Common::ByteView data, SDF::SDFDocImpl* doc, std::uint32_t stream_num) : Parser(data, doc)
    {
        m_cur_num = stream_num;
    }

protected:
    bool HandleKeyword(std::string_view) override { return false; }
    // In content every keyword is an operator, which ends the operands left open before it.
    bool ClosesOpenObjects(std::string_view) const override { return true; }
};

}  // namespace qvx::PDF
