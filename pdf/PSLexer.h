#pragma once
// Tokens of the PostScript subset that CMap programs use: numbers, names, strings (literal
// and hex), operators and the array/dictionary/procedure brackets.

#include <string>
#include <string_view>

#include "common/Buffer.h"

namespace qvx::PDF {

struct PSToken {
    enum Kind { e_end, e_int, e_real, e_name, e_string, e_keyword, e_open_array, e_close_array,
                e_open_dict, e_close_dict, e_open_proc, e_close_proc };
    Kind kind = e_end;
    long long i = 0;      // e_int
    double r = 0;         // e_real (and e_int)
    std::string text;     // e_name (without /), e_string (the bytes), e_keyword
};

class PSLexer {
public:
    explicit PSLexer(Common::ByteView data) : m_data(data) {}
    // The next token; e_end at the end of the data. Never throws.
    PSToken Next();
    std::size_t Position() const { return m_pos; }

private:
    void SkipWhite();
    void LiteralString(std::string& out);
    void HexString(std::string& out);

    Common::ByteView m_data;
    std::size_t m_pos = 0;
};

}  // namespace qvx::PDF
