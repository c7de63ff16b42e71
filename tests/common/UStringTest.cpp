#include <gtest/gtest.h>

#include "common/UString.h"

using qvx::Common::UString;

TEST(UString, Utf8RoundTripAcrossPlanes)
{
    std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
    UString u = UString::FromUTF8(s);
    ASSERT_EQ(u.Size(), 6u);
    EXPECT_EQ(u.Units()[1], 0xE9);
    EXPECT_EQ(u.Units()[2], 0x20AC);
    EXPECT_EQ(u.Units()[3], 0xD83D);
    EXPECT_EQ(u.Units()[4], 0xDE00);
    EXPECT_EQ(u.ToUTF8(), s);
}

TEST(UString, MalformedBytesBecomeReplacementPerByte)
{
    // Lone continuation byte, overlong encoding, truncated sequence, encoded surrogate.
    UString u = UString::FromUTF8("x\x80y\xC0\xAFz\xE2\x82");
    std::u16string expect = u"x\uFFFDy\uFFFD\uFFFDz\uFFFD\uFFFD";
    EXPECT_EQ(u.Units(), expect);
    EXPECT_EQ(UString::FromUTF8("\xED\xA0\x80").Size(), 3u);
    // An unpaired surrogate cannot be written as UTF-8.
    EXPECT_EQ(UString(std::u16string(1, char16_t(0xD800))).ToUTF8(), "\xEF\xBF\xBD");
}

TEST(UString, Latin1IsOneUnitPerByte)
{
    UString u = UString::FromLatin1("\xFF\x01");
    EXPECT_EQ(u.Units(), (std::u16string{0xFF, 0x01}));
    EXPECT_EQ(u.ToUTF8(), "\xC3\xBF\x01");
}

TEST(UString, FileNameBytesRoundTripExactly)
{
    // Latin-1 bytes, a lone continuation byte, an encoded surrogate and valid UTF-8 mixed.
    std::string name = std::string("caf\xE9-\x80-\xED\xA0\x80-\xC3\xA9.pdf");
    UString u = UString::FromFileName(name);
    EXPECT_EQ(u.Units()[3], 0xDCE9);
    EXPECT_EQ(u.ToFileName(), name);
    // Valid text reads as it does through FromUTF8; the plain UTF-8 form never holds raw bytes.
    EXPECT_EQ(UString::FromFileName("\xC3\xA9").Units(), u"\u00E9");
    EXPECT_EQ(u.ToUTF8().find('\xE9'), std::string::npos);
    // A lone surrogate that stands for no byte is replaced, not dropped.
    EXPECT_EQ(UString(std::u16string(1, char16_t(0xDC10))).ToFileName(), "\xEF\xBF\xBD");
}
