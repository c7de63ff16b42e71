// Bare CFF programs with glyphs added as copies, or with advances set: the copies open in
// FreeType under their names or CIDs with the advances asked for, the old glyphs stay, and
// programs that cannot be read or copied faithfully give nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Buffer.h"
#include "pdf/CFFProgram.h"
#include "pdf/FontProgram.h"
#include "pdf/SubstituteProgram.h"
#include "tests/support/CFFBuilder.h"
#include "tests/support/TestEnv.h"

namespace {

using qvx::Common::Bytes;
using qvx::PDF::FontProgram;
namespace CFFProgram = qvx::PDF::CFFProgram;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(CFFProgram, CopiesAddedByNameAndByCID)
{
    Bytes named = ToBytes(qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false));
    auto original = FontProgram::Open(named);
    ASSERT_NE(original, nullptr);
    ASSERT_EQ(original->GlyphCount(), 3);
    auto fixed = CFFProgram::WithGlyphCopies(named, {{0, 250, "notdef.c32", 0}, {1, 700, "C", 0}});
    ASSERT_TRUE(fixed);
    auto p = FontProgram::Open(*fixed);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GlyphCount(), 5);
    EXPECT_EQ(p->GlyphByName("notdef.c32"), 3u);
    EXPECT_EQ(p->GlyphByName("C"), 4u);
    EXPECT_EQ(p->Advance(3), 250);
    EXPECT_EQ(p->Advance(4), 700);
    EXPECT_EQ(p->GlyphByName("B"), 2u);
    EXPECT_EQ(p->Advance(2), 640);
    EXPECT_EQ(p->Advance(0), 500);
    // A name the program has already, once more, gives nothing.
    EXPECT_FALSE(CFFProgram::WithGlyphCopies(named, {{0, 250, "A", 0}}));
    EXPECT_FALSE(CFFProgram::WithGlyphCopies(named, {{3, 250, "D", 0}}));

    Bytes keyed = ToBytes(qvx::Test::MakeCFF({{"", 1, 600}, {"", 2, 640}}, true));
    ASSERT_NE(FontProgram::Open(keyed), nullptr);
    auto grown = CFFProgram::WithGlyphCopies(keyed, {{std::nullopt, 700, "", 40}, {2, 300, "", 3}});
    ASSERT_TRUE(grown);
    auto c = FontProgram::Open(*grown);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->IsCIDKeyed());
    EXPECT_EQ(c->Advance(c->GlyphByCID(40)), 700);
    EXPECT_EQ(c->Advance(c->GlyphByCID(3)), 300);
    EXPECT_EQ(c->Advance(c->GlyphByCID(2)), 640);
    EXPECT_FALSE(CFFProgram::WithGlyphCopies(keyed, {{0, 700, "", 2}}));
}

TEST(CFFProgram, NameKeyedProgramMadeCIDKeyed)
{
    Bytes named = ToBytes(qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false));
    // CID 5 draws B, CIDs 7 and 9 both draw A; CID 0 stays .notdef whatever it is given.
    auto keyed = CFFProgram::AsCIDKeyed(named, {{0, 2}, {5, 2}, {7, 1}, {9, 1}});
    ASSERT_TRUE(keyed);
    auto p = FontProgram::Open(*keyed);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->IsCIDKeyed());
    EXPECT_EQ(p->Advance(p->GlyphByCID(5)), 640);
    EXPECT_EQ(p->Advance(p->GlyphByCID(7)), 600);
    EXPECT_EQ(p->Advance(p->GlyphByCID(9)), 600);
    EXPECT_EQ(p->Advance(0), 500);
    EXPECT_FALSE(CFFProgram::AsCIDKeyed(named, {{5, 3}}));
    EXPECT_FALSE(CFFProgram::AsCIDKeyed(*keyed, {{5, 1}}));
}

TEST(CFFProgram, AdvancesSetByGlyphNumberOrCID)
{
    Bytes named = ToBytes(qvx::Test::MakeCFF({{"A", 0, 600}, {"B", 0, 640}}, false));
    auto fixed = CFFProgram::WithAdvances(named, {{2, 700}, {0, 250}});
    ASSERT_TRUE(fixed);
    auto p = FontProgram::Open(*fixed);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Advance(0), 250);
    EXPECT_EQ(p->Advance(1), 600);
    EXPECT_EQ(p->Advance(2), 700);
    EXPECT_FALSE(CFFProgram::WithAdvances(named, {{3, 700}}));

    // CIDs 5 and 9 are glyphs 1 and 2.
    Bytes keyed = ToBytes(qvx::Test::MakeCFF({{"", 5, 600}, {"", 9, 640}}, true));
    auto grown = CFFProgram::WithAdvances(keyed, {{9, 300}});
    ASSERT_TRUE(grown);
    auto c = FontProgram::Open(*grown);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Advance(c->GlyphByCID(9)), 300);
    EXPECT_EQ(c->Advance(c->GlyphByCID(5)), 600);
    EXPECT_FALSE(CFFProgram::WithAdvances(keyed, {{2, 300}}));
}

TEST(CFFProgram, OpenTypeProgramGivenCopies)
{
    // A real program, with local and global subroutines, inside OpenType: the copy gets its
    // advance in hmtx as well, and the other glyphs keep theirs.
    const char* const kNimbusSansOTF = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
    if (!std::filesystem::exists(kNimbusSansOTF)) GTEST_SKIP() << kNimbusSansOTF << " not installed";
    Bytes program = ToBytes(qvx::Test::ReadFile(kNimbusSansOTF));
    auto original = FontProgram::Open(program);
    ASSERT_NE(original, nullptr);
    auto fixed = qvx::PDF::SubstituteProgram::WithCFFGlyphCopies(program, {{0, 700, "nosuchglyph", 0}});
    ASSERT_TRUE(fixed);
    auto p = FontProgram::Open(*fixed);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GlyphCount(), original->GlyphCount() + 1);
    EXPECT_EQ(p->GlyphByName("nosuchglyph"), static_cast<unsigned>(original->GlyphCount()));
    EXPECT_EQ(p->Advance(p->GlyphByName("nosuchglyph")), 700);
    for (const char* name : {"A", "B", "ampersand"}) EXPECT_EQ(p->Advance(p->GlyphByName(name)), original->Advance(original->GlyphByName(name)));
}

TEST(CFFProgram, DamagedProgramsGiveNothing)
{
    std::string good = qvx::Test::MakeCFF({{"", 1, 600}, {"", 2, 640}}, true);
    // Every cut of the program gives nothing (the Private DICT comes last), and every byte
    // changed is read within the data (the sanitizer builds watch).
    ASSERT_TRUE(CFFProgram::WithGlyphCopies(ToBytes(good), {{0, 100, "", 9}}));
    for (std::size_t n = 0; n < good.size(); ++n) {
        EXPECT_FALSE(CFFProgram::WithGlyphCopies(ToBytes(good.substr(0, n)), {{0, 100, "", 9}})) << n;
        Bytes changed = ToBytes(good);
        changed[n] ^= 0xFF;
        CFFProgram::WithGlyphCopies(changed, {{0, 100, "", 9}});
    }
    EXPECT_FALSE(CFFProgram::WithGlyphCopies(ToBytes("not a font program"), {{0, 100, "", 9}}));

    // A .notdef whose width comes from a subroutine: where the width ends cannot be told
    // without running it, so the program is not copied from.
    std::string program = qvx::Test::MakeCFF({{"A", 0, 600}}, false);
    std::size_t rmoveto = program.find(std::string("\x1c\x00\x32\x1c\x00\x00\x15", 7));
    ASSERT_NE(rmoveto, std::string::npos);
    std::string subr_call = "\x8b\x0a";  // 0 callsubr, where the width would be
    program.replace(rmoveto - 3, 3, subr_call + std::string(1, '\x8b'));
    EXPECT_FALSE(CFFProgram::WithGlyphCopies(ToBytes(program), {{0, 100, "B", 0}}));
}

}  // namespace
