#include <gtest/gtest.h>

#include <random>

#include "pdf/ContentLexer.h"
#include "pdf/ObjUtil.h"

using namespace qvx;
using PDF::Op;
using PDF::Operand;
using PDF::Operation;

namespace {

std::vector<std::string> Keywords(std::string_view content)
{
    PDF::ContentLexer lex(Common::AsBytes(content));
    Operation op;
    std::vector<std::string> out;
    while (lex.Next(op)) out.emplace_back(op.keyword);
    return out;
}

}  // namespace

TEST(ContentOps, KeywordTableRoundTrips)
{
    int known = 0;
    for (int i = 1; i <= static_cast<int>(Op::e_EX); ++i) {
        auto op = static_cast<Op>(i);
        std::string_view kw = PDF::KeywordOf(op);
        ASSERT_FALSE(kw.empty()) << i;
        EXPECT_EQ(PDF::OpFromKeyword(kw), op) << kw;
        ++known;
    }
    EXPECT_EQ(known, 73);
    EXPECT_EQ(PDF::OpFromKeyword("Tx"), Op::e_unknown);
    EXPECT_EQ(PDF::OpFromKeyword("BDCX"), Op::e_unknown);
    EXPECT_EQ(PDF::OperandCount(Op::e_cm), 6);
    EXPECT_EQ(PDF::OperandCount(Op::e_scn), -1);
}

TEST(ContentLexer, OperandsOfEveryKind)
{
    std::string c = "1 -2.5 .5 --3 +-4 1.2.3 /Na#20me (a\\(b\\)\\101\\n\r\nx) <41 42 4> true false null "
                    "[1 (s) /N [2]] << /K /V /D << /E 1 >> >> op";
    PDF::ContentLexer lex(Common::AsBytes(c));
    Operation op;
    ASSERT_TRUE(lex.Next(op));
    EXPECT_EQ(op.keyword, "op");
    EXPECT_EQ(op.op, Op::e_unknown);
    ASSERT_EQ(op.Size(), 14u);
    EXPECT_EQ(op[0].number, 1);
    EXPECT_EQ(op[1].number, -2.5);
    EXPECT_EQ(op[2].number, 0.5);
    EXPECT_EQ(op[3].number, -3);
    EXPECT_EQ(op[4].number, 4);
    EXPECT_EQ(op[5].number, 0);  // malformed numbers read as 0
    EXPECT_EQ(op[6].text, "Na me");
    EXPECT_EQ(op[7].text, "a(b)A\n\nx");
    EXPECT_EQ(op[8].text, "AB@");
    EXPECT_TRUE(op[9].boolean);
    EXPECT_EQ(op[10].kind, Operand::e_bool);
    EXPECT_EQ(op[11].kind, Operand::e_null);
    ASSERT_EQ(op[12].kind, Operand::e_array);
    EXPECT_EQ(op[12].obj->Size(), 4u);
    EXPECT_TRUE(op[12].obj->GetAt(3)->IsArray());
    ASSERT_EQ(op[13].kind, Operand::e_dict);
    EXPECT_EQ(PDF::FindName(op[13].obj.get(), "K"), "V");
    EXPECT_EQ(PDF::FindNumber(PDF::FindDict(op[13].obj.get(), "D"), "E", 0), 1);
    EXPECT_EQ(op.flags, 0);
    EXPECT_FALSE(lex.Next(op));
}

TEST(ContentLexer, DamageIsSkippedAndFlagged)
{
    // Stray delimiters (the operands before a stray ) are dropped with it), an operator
    // inside an array, an unterminated string.
    PDF::ContentLexer lex(Common::AsBytes("1 ) } 2 m [1 2 Tj 3 l (abc"));
    Operation op;
    ASSERT_TRUE(lex.Next(op));
    EXPECT_EQ(op.op, Op::e_m);
    ASSERT_EQ(op.Size(), 1u);
    EXPECT_EQ(op[0].number, 2);
    EXPECT_TRUE(op.flags & Operation::e_bad_token);
    ASSERT_TRUE(lex.Next(op));  // the array ends at Tj, which is then read
    EXPECT_EQ(op.op, Op::e_Tj);
    ASSERT_EQ(op.Size(), 1u);
    EXPECT_EQ(op[0].obj->Size(), 2u);
    ASSERT_TRUE(lex.Next(op));
    EXPECT_EQ(op.op, Op::e_l);
    EXPECT_FALSE(lex.Next(op));  // operands without operator are dropped
    EXPECT_EQ(Keywords("%comment\nq%c\rQ"), (std::vector<std::string>{"q", "Q"}));
    // Deep nesting stops at the limit without recursion trouble.
    std::string deep(5000, '[');
    EXPECT_EQ(Keywords(deep + " x"), (std::vector<std::string>{"x"}));
}

TEST(ContentLexer, InlineImages)
{
    // Unfiltered 4x2 gray image whose data contains " EI " and binary: the size decides.
    std::string data = "ab EI \x01\x02";
    std::string c = "q BI /W 4 /H 2 /BPC 8 /CS /G ID " + data + "\nEI Q";
    PDF::ContentLexer lex(Common::AsBytes(c));
    Operation op;
    ASSERT_TRUE(lex.Next(op));
    EXPECT_EQ(op.op, Op::e_q);
    ASSERT_TRUE(lex.Next(op));
    ASSERT_EQ(op.op, Op::e_BI);
    EXPECT_EQ(Common::AsChars(op.inline_data), data);
    EXPECT_EQ(PDF::FindNumber(op.inline_dict, "Width", 0), 4);
    EXPECT_EQ(PDF::FindName(op.inline_dict, "ColorSpace"), "DeviceGray");
    ASSERT_TRUE(lex.Next(op));
    EXPECT_EQ(op.op, Op::e_Q);

    // Filtered: EI is searched, and one followed by binary bytes is not the end.
    std::string hex = "BI /W 2 /H 1 /BPC 8 /CS /RGB /F /AHx ID 0A0B0C EI\x80\x81 0D0E0F> EI 0 0 m";
    PDF::ContentLexer lex2(Common::AsBytes(hex));
    ASSERT_TRUE(lex2.Next(op));
    ASSERT_EQ(op.op, Op::e_BI);
    EXPECT_EQ(Common::AsChars(op.inline_data), "0A0B0C EI\x80\x81 0D0E0F>");
    ASSERT_TRUE(lex2.Next(op));
    EXPECT_EQ(op.op, Op::e_m);

    // Binary data with EI straight after its last byte ends there; text-filtered data does not
    // end at an EI inside a line.
    std::string ccitt = std::string("BI /IM true /W 8 /H 1 /F /CCF ID ") + "\x26\xf1\x40" + "EI\nQ";
    PDF::ContentLexer lex5(Common::AsBytes(ccitt));
    ASSERT_TRUE(lex5.Next(op));
    EXPECT_EQ(op.flags, 0);
    EXPECT_EQ(Common::AsChars(op.inline_data), "\x26\xf1\x40");
    ASSERT_TRUE(lex5.Next(op));
    EXPECT_EQ(op.op, Op::e_Q);
    PDF::ContentLexer lex6(Common::AsBytes("BI /W 2 /H 1 /CS /G /BPC 8 /F /A85 ID 8EI Q~> EI Q"));
    ASSERT_TRUE(lex6.Next(op));
    EXPECT_EQ(Common::AsChars(op.inline_data), "8EI Q~>");

    // Filter arrays and abbreviations are expanded; a missing EI takes the rest.
    std::string arr = "BI /F [/A85 /Fl] /IM true /D [1 0] ID xyz";
    PDF::ContentLexer lex3(Common::AsBytes(arr));
    ASSERT_TRUE(lex3.Next(op));
    SDF::Obj* filters = PDF::FindArray(op.inline_dict, "Filter");
    ASSERT_TRUE(filters);
    EXPECT_EQ(filters->GetAt(1)->GetName(), "FlateDecode");
    EXPECT_TRUE(PDF::FindBool(op.inline_dict, "ImageMask", false));
    EXPECT_TRUE(op.flags & Operation::e_unterminated);
    EXPECT_EQ(Common::AsChars(op.inline_data), "xyz");

    // BI without ID ends at the next operator.
    PDF::ContentLexer lex4(Common::AsBytes("BI /W 1 Q"));
    ASSERT_TRUE(lex4.Next(op));
    EXPECT_TRUE(op.flags & Operation::e_bad_inline_image);
}

// Random content written from a model and read back must give the model again.
TEST(ContentLexer, GeneratedContentRoundTrips)
{
    std::mt19937 rng(1234);
    struct Written {
        std::string keyword;
        std::vector<std::string> operands;  // canonical text of each operand
    };
    auto num = [&] { return std::to_string(static_cast<int>(rng() % 2000) - 1000) + "." + std::to_string(rng() % 100); };
    auto canon_num = [](const std::string& s) { return std::to_string(std::stod(s)); };
    const char* kws[] = {"m", "l", "c", "re", "cm", "w", "Tf", "Tj", "TJ", "gs", "Do", "cs", "scn", "BDC", "q", "Q", "BT", "ET", "Td", "Tz", "d"};
    for (int round = 0; round < 50; ++round) {
        std::string text;
        std::vector<Written> model;
        for (int i = 0; i < 200; ++i) {
            Written w;
            w.keyword = kws[rng() % (sizeof kws / sizeof *kws)];
            std::string line;
            int n = static_cast<int>(rng() % 4);
            for (int k = 0; k < n; ++k) {
                switch (rng() % 4) {
                case 0: {
                    std::string v = num();
                    line += v + " ";
                    w.operands.push_back("N" + canon_num(v));
                    break;
                }
                case 1: {
                    std::string name = "F" + std::to_string(rng() % 50);
                    line += "/" + name + " ";
                    w.operands.push_back("/" + name);
                    break;
                }
                case 2: {
                    std::string bytes;
                    for (int b = 0; b < 6; ++b) bytes += static_cast<char>(rng() % 256);
                    char buf[8];
                    line += "<";
                    for (unsigned char b : bytes) {
                        std::snprintf(buf, sizeof buf, "%02X", b);
                        line += buf;
                    }
                    line += "> ";
                    w.operands.push_back("S" + bytes);
                    break;
                }
                default:
                    line += "[(a) -120 (b)] ";
                    w.operands.push_back("A3");
                }
            }
            text += line + w.keyword + (rng() % 3 ? "\n" : " ");
            model.push_back(std::move(w));
        }
        PDF::ContentLexer lex(Common::AsBytes(text));
        Operation op;
        for (const Written& w : model) {
            ASSERT_TRUE(lex.Next(op));
            ASSERT_EQ(op.keyword, w.keyword);
            ASSERT_EQ(op.Size(), w.operands.size());
            for (std::size_t k = 0; k < op.Size(); ++k) {
                const Operand& o = op[k];
                std::string got = o.kind == Operand::e_number ? "N" + std::to_string(o.number)
                                  : o.kind == Operand::e_name ? "/" + o.text
                                  : o.kind == Operand::e_string ? "S" + o.text
                                  : o.kind == Operand::e_array ? "A" + std::to_string(o.obj->Size())
                                                               : "?";
                ASSERT_EQ(got, w.operands[k]);
            }
        }
        EXPECT_FALSE(lex.Next(op));
    }
}
