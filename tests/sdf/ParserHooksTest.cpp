#include <gtest/gtest.h>

#include "sdf/Objects.h"
#include "tests/sdf/ParserTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Codes;
using qvx::Test::DocOver;

namespace {

using CodeList = std::vector<int>;

// The codes recorded while object 1 with the given body is loaded at level.
CodeList CodesFor(const std::string& body, int level, bool convert = false)
{
    auto doc = DocOver("%PDF-1.7\n1 0 obj\n" + body + "\nendobj\n", level, convert);
    try {
        doc->GetObj(1)->Resolve();
    } catch (const qvx::Common::Exception&) {
    }
    return Codes(*doc);
}

std::string Repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(ParserHooks, CleanObjectsRecordNothingAtAnyLevel)
{
    std::string body = "<</Type/Page/N 3/R 2.5/S(text)/H<414243>/K[1 2 3]/U/caf#C3#A9>>";
    for (int level = 0; level <= 12; ++level) EXPECT_EQ(CodesFor(body, level), CodeList{}) << level;
}

TEST(ParserHooks, Code11ForUnbalancedContainersUpToLevel12)
{
    EXPECT_EQ(CodesFor("[1 2 3", 2), CodeList{11});
    EXPECT_EQ(CodesFor("<</A 1/B>>", 12), CodeList{11});
    EXPECT_EQ(CodesFor("<</A [1 2 >>", 9), CodeList{11});
    EXPECT_EQ(CodesFor("[1 2 3", 0), CodeList{});
}

TEST(ParserHooks, OddHexStringIs161)
{
    EXPECT_EQ(CodesFor("<414>", 4), CodeList{161});
    EXPECT_EQ(CodesFor("<4142>", 4), CodeList{});
    EXPECT_EQ(CodesFor("<414>", 12), CodeList{});
}

TEST(ParserHooks, ContainerSizesForPDFA1)
{
    std::string big = "[" + Repeat("0 ", 8192) + "]";
    std::string ok = "[" + Repeat("0 ", 8191) + "]";
    EXPECT_EQ(CodesFor(big, 1), CodeList{1121});
    EXPECT_EQ(CodesFor(big, 2), CodeList{1121});
    EXPECT_EQ(CodesFor(big, 3), CodeList{});
    EXPECT_EQ(CodesFor(ok, 2), CodeList{});
    std::string dict = "<<";
    for (int i = 0; i < 4096; ++i) dict += "/K" + std::to_string(i) + " 0";
    EXPECT_EQ(CodesFor(dict + ">>", 2), CodeList{1122});
    EXPECT_EQ(CodesFor(dict.substr(0, dict.rfind("/K")) + ">>", 2), CodeList{});
}

TEST(ParserHooks, NameLengthAndUTF8)
{
    std::string n128 = "/" + std::string(128, 'n');
    EXPECT_EQ(CodesFor(n128, 4), CodeList{1123});
    EXPECT_EQ(CodesFor(n128, 2), CodeList{1123});
    EXPECT_EQ(CodesFor(n128, 9), CodeList{});
    EXPECT_EQ(CodesFor("/" + std::string(127, 'n'), 4), CodeList{});
    // Escapes count as the byte they stand for.
    EXPECT_EQ(CodesFor("/" + Repeat("#41", 128), 4), CodeList{1123});

    EXPECT_EQ(CodesFor("/A#FF", 4), CodeList{187});
    EXPECT_EQ(CodesFor("/A#FF", 9), CodeList{187});
    EXPECT_EQ(CodesFor("/A#FF", 2), CodeList{});
    EXPECT_EQ(CodesFor("/A#FF", 12), CodeList{});
    auto doc = DocOver("%PDF-1.7\n1 0 obj\n<</A#FF/B#C3#A9>>\nendobj\n", 4, true);
    EXPECT_EQ(qvx::Test::Text(doc->GetObj(1)->Resolve()), "<</A#C3#BF/B#C3#A9>>");
}

TEST(ParserHooks, NumbersByPart)
{
    EXPECT_EQ(CodesFor("3000000000", 2), CodeList{1124});
    EXPECT_EQ(CodesFor("-3000000000", 7), CodeList{1124});
    EXPECT_EQ(CodesFor("3000000000", 9), CodeList{});
    EXPECT_EQ(CodesFor("2147483647 -2147483648", 4), CodeList{});

    // PDF/A-1: reals near an integer become it before the range test.
    auto doc = DocOver("%PDF-1.7\n1 0 obj\n[32767.00001 -32767.000001]\nendobj\n", 2);
    EXPECT_EQ(doc->GetObj(1)->GetAt(0)->GetNumber(), 32767);
    EXPECT_EQ(Codes(*doc), CodeList{});
    EXPECT_EQ(CodesFor("32767.5", 2), CodeList{1127});
    EXPECT_EQ(CodesFor("-40000.0", 1), CodeList{1127});
    EXPECT_EQ(CodesFor("40000", 1), CodeList{});  // integers are not limited to 32767
    EXPECT_EQ(CodesFor("1e5", 2), CodeList{1127});
    EXPECT_EQ(CodesFor("1e5", 4), CodeList{1129});
    EXPECT_EQ(CodesFor("1e5", 9), CodeList{});

    std::string tiny = "0." + std::string(38, '0') + "1";
    EXPECT_EQ(CodesFor(tiny, 4), CodeList{1128});
    EXPECT_EQ(CodesFor("0.0", 4), CodeList{});
    EXPECT_EQ(CodesFor(tiny, 2), CodeList{});
    EXPECT_EQ(CodesFor(std::string(39, '9') + ".5", 5), CodeList{1129});  // too many digits
}

TEST(ParserHooks, StringLengthsByPart)
{
    std::string s32768 = "(" + std::string(32768, 'x') + ")";
    EXPECT_EQ(CodesFor(s32768, 4), CodeList{11212});
    EXPECT_EQ(CodesFor(s32768, 2), CodeList{});
    EXPECT_EQ(CodesFor("(" + std::string(32767, 'x') + ")", 4), CodeList{});
    EXPECT_EQ(CodesFor("(" + std::string(65536, 'x') + ")", 1), CodeList{11211});
    EXPECT_EQ(CodesFor("(" + std::string(65535, 'x') + ")", 1), CodeList{});
    EXPECT_EQ(CodesFor("<" + std::string(65536, 'A') + ">", 4), CodeList{11212});  // 32768 bytes decoded
    EXPECT_EQ(CodesFor("(" + std::string(65536, 'x') + ")", 9), CodeList{});
}
