#include <gtest/gtest.h>

#include "filters/MemoryFilter.h"
#include "sdf/Objects.h"
#include "sdf/ParseException.h"
#include "sdf/Parser.h"
#include "tests/sdf/ParserTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Text;
using qvx::Test::Thrown;

namespace {

// The first object of text, read from a memory filter.
std::unique_ptr<Obj> ParseOne(const std::string& text)
{
    qvx::Filters::MemoryFilter in(qvx::Common::ToBytes(text));
    Parser p(in, nullptr);
    EXPECT_TRUE(p.GetObj()) << text;
    return p.TakeAt(0);
}

std::string Bytes(const Obj& o)
{
    auto b = o.GetBuffer();
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(Parser, NamesDecodeOnlyCompleteHexEscapes)
{
    EXPECT_EQ(ParseOne("/A#20B")->GetName(), "A B");
    EXPECT_EQ(ParseOne("/A#2 ")->GetName(), "A#2");
    EXPECT_EQ(ParseOne("/A#zz")->GetName(), "A#zz");
    EXPECT_EQ(ParseOne("/A#4g")->GetName(), "A#4g");
    EXPECT_EQ(ParseOne("/#41#42")->GetName(), "AB");
    EXPECT_EQ(ParseOne("/ ")->GetName(), "");
    EXPECT_EQ(ParseOne("/a/b")->GetName(), "a");  // a solidus ends the name
    EXPECT_EQ(ParseOne("/x%c")->GetName(), "x");
}

TEST(Parser, LiteralAndHexStrings)
{
    EXPECT_EQ(Bytes(*ParseOne("(a(b)c)")), "a(b)c");
    EXPECT_EQ(Bytes(*ParseOne("(x\\101y)")), "xAy");
    EXPECT_EQ(Bytes(*ParseOne("(1\r\n2\r3\n4)")), "1\n2\n3\n4");
    EXPECT_EQ(Bytes(*ParseOne("(\\777\\0a\\n\\t\\(\\)\\\\\\q)")), std::string("\xFF\0a\n\t()\\q", 9));
    EXPECT_EQ(Bytes(*ParseOne("(line\\\r\ncont\\\nx)")), "linecontx");
    EXPECT_EQ(Bytes(*ParseOne("(\\1234)")), "S4");  // three octal digits at most
    EXPECT_EQ(Bytes(*ParseOne("<41 42 4>")), "AB\x40");
    EXPECT_EQ(Bytes(*ParseOne("<4a%note\n4B>")), "JK");
    EXPECT_EQ(Bytes(*ParseOne("<>")), "");
    EXPECT_EQ(Thrown([] { ParseOne("(abc"); }).GetMessage(), "Corrupt string");
    EXPECT_EQ(Thrown([] { ParseOne("(abc\\"); }).GetMessage(), "Corrupt string");
    EXPECT_EQ(Thrown([] { ParseOne("<41x>"); }).GetMessage(), "Bad String");
    EXPECT_EQ(Thrown([] { ParseOne("<41"); }).GetMessage(), "Bad String");
    EXPECT_EQ(Thrown([] { ParseOne(")"); }).GetMessage(), "')' is not matched");
}

TEST(Parser, NumbersAreTolerant)
{
    struct Case {
        const char* text;
        double value;
    } cases[] = {{"42", 42},   {"-17", -17},     {"+-3", 3},    {"--3", -3},   {"3.25", 3.25}, {"-.5", -0.5},
                 {"4.", 4},    {"1e5", 0},       {"12abc", 0},  {"1.2.3", 0},  {"+", 0},       {"-0", 0},
                 {"3000000000", 3000000000.0},   {"-2147483648", -2147483648.0}};
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(ParseOne(c.text)->GetNumber(), c.value) << c.text;
    EXPECT_TRUE(ParseOne("true")->GetBool());
    EXPECT_FALSE(ParseOne("false")->GetBool());
    EXPECT_TRUE(ParseOne("null")->IsNull());
}

TEST(Parser, ContainersRepairAndLimits)
{
    auto d = ParseOne("<</A 1/A 2/B[1 2]>>");
    EXPECT_EQ(d->Size(), 2u);
    EXPECT_EQ(d->FindObj("A")->GetNumber(), 2);
    EXPECT_EQ(Text(d.get()), "<</A 2/B[1 2]>>");
    EXPECT_EQ(Text(ParseOne("<</A 1/B>>").get()), "<</A 1>>");  // odd: the last element goes

    qvx::Filters::MemoryFilter in(qvx::Common::ToBytes("[1 2 3 endobj"));
    Parser p(in, nullptr);
    ASSERT_TRUE(p.GetObj());
    EXPECT_EQ(Text(p.TakeAt(0).get()), "[1 2 3]");
    EXPECT_FALSE(p.GetObj());
    EXPECT_EQ(p.Token(), "endobj");

    EXPECT_EQ(Text(ParseOne("[<</K[/V]>>(s)<0A>]").get()), "[<</K[/V]>> (s) (\\n)]");
    // A stray word keeps the entries after it: dropped in a key's place, null in a value's.
    EXPECT_EQ(Text(ParseOne("<</BaseFont /Arial,Unicode MS /Subtype /Type0 /Type Font /W [1 x 2]>>").get()),
              "<</BaseFont/Arial,Unicode/Subtype/Type0/Type null/W[1 null 2]>>");
    EXPECT_NO_THROW(ParseOne(std::string(999, '[')));
    EXPECT_EQ(Thrown([] { ParseOne(std::string(1000, '[')); }).GetMessage(), "Exceeds maximum nesting level");
    EXPECT_EQ(Thrown([] { ParseOne("<</A 1>"); }).GetMessage(), "'<<' is not matched");
    auto bad_key = Thrown([] { ParseOne("<<1 2>>"); });
    EXPECT_EQ(bad_key.GetMessage(), "Bad key");
    EXPECT_THROW(ParseOne("<</A 1>]"), ParseException);
    EXPECT_EQ(Thrown([] { ParseOne("[0 R]"); }).GetMessage(), "Reference expects two arguments");
    EXPECT_EQ(Thrown([] { ParseOne("[/X 0 R]"); }).GetMessage(),
              "Identifier required to be a non-negative integer was not a number.");
    EXPECT_TRUE(ParseOne("[1 0 R]")->GetAt(0)->IsNull());  // no document to resolve against
}

TEST(Parser, IdentifierConversions)
{
    EXPECT_EQ(Parser::ToNonNegativeInt(2.5), 2u);  // ties to even
    EXPECT_EQ(Parser::ToNonNegativeInt(3.5), 4u);
    EXPECT_EQ(Parser::ToNonNegativeInt(0), 0u);
    EXPECT_EQ(Parser::ToNonNegativeInt(2147483647.0), 2147483647u);
    EXPECT_EQ(Thrown([] { Parser::ToNonNegativeInt(-1); }).GetMessage(), "Non-negative integer outside allowed range");
    EXPECT_EQ(Thrown([] { Parser::ToNonNegativeInt(2147483648.0); }).GetMessage(),
              "Non-negative integer outside allowed range");
    EXPECT_EQ(Thrown([] { Parser::ToPositiveInt(0.4); }).GetMessage(), "Positive integer outside allowed range");
    EXPECT_EQ(Parser::ToPositiveInt(1), 1u);

    qvx::Filters::MemoryFilter in(qvx::Common::ToBytes("(s) 7 /N"));
    Parser p(in, nullptr);
    while (p.GetObj()) {
    }
    ASSERT_EQ(p.StackSize(), 3u);
    EXPECT_EQ(p.GetNameAt(2), "N");
    EXPECT_EQ(p.GetPositiveIntAt(1), 7u);
    EXPECT_EQ(Thrown([&] { p.GetNameAt(1); }).GetMessage(), "No name object at given location location");
    EXPECT_EQ(Thrown([&] { p.GetPositiveIntAt(0); }).GetMessage(),
              "Identifier required to be a positive integer was not a number.");
}

TEST(Parser, ReferencesResolveAgainstTheTable)
{
    auto doc = qvx::Test::DocOver("1 0 obj\n[2 0 R 99999 0 R 3 0 R]\nendobj\n2 0 obj\n(two)\nendobj\n");
    doc->GetImpl().Grow(4);
    Obj* arr = doc->GetObj(1);
    EXPECT_EQ(arr->GetAt(0), doc->GetObj(2));
    EXPECT_EQ(arr->GetAt(1), doc->GetObj(0));  // past the table: entry 0, the trailer holder
    EXPECT_TRUE(arr->GetAt(2)->IsNull());     // an empty slot
    EXPECT_FALSE(arr->GetAt(2)->IsIndirect());
    EXPECT_EQ(Text(arr->Resolve()), "[2 0 R null null]");  // the free entry 0 is written as null
}
