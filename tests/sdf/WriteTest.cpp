#include <gtest/gtest.h>

#include "sdf/ObjWriter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Text;

static std::string Num(double v)
{
    std::string s;
    ObjWriter::AppendNumber(s, v);
    return s;
}

TEST(Write, NumbersIntegersAndSixSignificantDigits)
{
    EXPECT_EQ(Num(0.5), "0.5");
    EXPECT_EQ(Num(0.05), "0.05");
    EXPECT_EQ(Num(3.14159265), "3.14159");
    EXPECT_EQ(Num(12.000001), "12.0");
    EXPECT_EQ(Num(1234567.5), "1234570.0");
    EXPECT_EQ(Num(2.5e-40), "0.0");
    EXPECT_EQ(Num(-7), "-7");
    EXPECT_EQ(Num(-0.0), "0");
    EXPECT_EQ(Num(0), "0");
    EXPECT_EQ(Num(-0.25), "-0.25");
    EXPECT_EQ(Num(99.9999996), "100.0");  // rounding carries into a new digit
    EXPECT_EQ(Num(0.000123456789), "0.000123457");
    EXPECT_EQ(Num(1e-38), "0.00000000000000000000000000000000000001");
    EXPECT_EQ(Num(1e41), "0.0");
    EXPECT_EQ(Num(3e20), "300000000000000000000.0");
    // Integers up to (not including) 2^51 - 1 stay integers, larger ones do not.
    EXPECT_EQ(Num(2251799813685246.0), "2251799813685246");
    EXPECT_EQ(Num(2251799813685247.0), "2251800000000000.0");
    EXPECT_EQ(Num(-2251799813685248.0), "-2251799813685248");
    EXPECT_EQ(Num(3000000000.0), "3000000000");
}

TEST(Write, NamesAndStrings)
{
    EXPECT_EQ(Text(Name::Create("A #").get()), "/A#20#23");
    EXPECT_EQ(Text(Name::Create("a(b)/%\x80\x7F~").get()), "/a#28b#29#2F#25#80#7F~");
    EXPECT_EQ(Text(Name::Create("").get()), "/");
    EXPECT_EQ(Text(Str::Create("\x01" "A").get()), "(\\1A)");
    EXPECT_EQ(Text(Str::Create("\x01" "5").get()), "(\\0015)");
    EXPECT_EQ(Text(Str::Create("a(b)\\").get()), "(a\\(b\\)\\\\)");
    EXPECT_EQ(Text(Str::Create("\n\r\t\b\f").get()), "(\\n\\r\\t\\b\\f)");
    EXPECT_EQ(Text(Str::Create(std::string_view("\0x", 2)).get()), "(\\0x)");
    EXPECT_EQ(Text(Str::Create("\x1B").get()), "(\\33)");        // short at the end
    EXPECT_EQ(Text(Str::Create("\x7F" "a\xFF").get()), "(\\177a\\377)");  // 64 and above: three digits
    EXPECT_EQ(Text(Str::Create("\x1F" "9").get()), "(\\0379)");
    std::string hex;
    ObjWriter::AppendHexString(hex, qvx::Common::AsBytes(std::string_view("\x00\xAB z", 4)));
    EXPECT_EQ(hex, "<00AB207A>");
}

TEST(Write, ArraysBreakLinesAfterThe51stElementAndEvery50)
{
    auto a = Array::Create();
    for (int i = 1; i <= 120; ++i) a->PushBackNumber(i);
    std::string t = Text(a.get());
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 2);
    EXPECT_NE(t.find(" 51\n52 "), std::string::npos);
    EXPECT_NE(t.find(" 101\n102 "), std::string::npos);
    EXPECT_EQ(t.substr(0, 7), "[1 2 3 ");
    EXPECT_EQ(t.substr(t.size() - 5), " 120]");
    auto b = Array::Create();
    for (int i = 1; i <= 51; ++i) b->PushBackNumber(i);
    EXPECT_EQ(Text(b.get()).find('\n'), std::string::npos);  // no break after the last element
}

TEST(Write, ReferencesAndStreams)
{
    SDFDoc doc;
    Obj* target = doc.CreateIndirectDict();
    Obj* holder = doc.CreateIndirectDict();
    holder->Put("P", target);
    holder->PutNumber("N", 2);
    EXPECT_EQ(Text(holder->Resolve()), "<</N 2/P 1 0 R>>");
    EXPECT_EQ(Text(holder), "2 0 R");

    auto dict = Dict::Create();
    dict->PutName("Type", "XObject");
    dict->PutNumber("Length", 99);  // replaced by the data's length
    Obj* s = doc.CreateIndirectStream(qvx::Common::ToBytes("abc"), std::move(dict));
    EXPECT_EQ(Text(s->Resolve()), "<</Length 3/Type/XObject>>\rstream\nabc\nendstream");
    EXPECT_TRUE(s->IsNewStream());
}
