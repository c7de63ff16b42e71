#pragma once
// The parser the content lexer reads tokens with (private to the lexer's files).

#include "pdf/ContentLexer.h"
#include "sdf/Parser.h"

namespace qvx::PDF {

// The object parser without references: R is an operator like any other keyword here.
class ContentLexer::Reader : public SDF::Parser {
public:
    explicit Reader(Common::ByteView data) : Parser(data, nullptr) {}

protected:
    bool HandleKeyword(std::string_view) override { return false; }
};

}  // namespace qvx::PDF
