// CCITTFaxEncode read back by CCITTFaxDecode over every combination of parameters.
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/CCITTFaxEncode.h"
#include "filters/MemoryFilter.h"
#include "tests/filters/CCITTTestSupport.h"

using namespace qvx::Test::CCITT;
using qvx::Common::Bytes;
using qvx::Filters::CCITTParams;

TEST(CCITTEncode, RoundTripsUnderEveryParameterCombination)
{
    const Bitmap images[] = {TextLike(1731, 50, 21), Noise(77, 33, 22), Solid(9, 4), TextLike(3000, 8, 23)};
    for (const Bitmap& img : images) {
        for (int k : {-1, 0, 1, 4}) {
            for (int flags = 0; flags < 16; ++flags) {
                CCITTParams p;
                p.k = k;
                p.columns = static_cast<int>(img.width);
                p.end_of_line = flags & 1;
                p.encoded_byte_align = flags & 2;
                p.end_of_block = flags & 4;
                p.black_is_1 = flags & 8;
                SCOPED_TRACE(testing::Message() << "width " << img.width << " K " << k << " flags " << flags);
                Bytes rows = img.bits;
                if (!p.black_is_1)
                    for (auto& b : rows) b = static_cast<std::uint8_t>(~b);
                Bytes coded = Encode(rows, p);
                EXPECT_EQ(Decode(coded, p, 7), rows);
                p.rows = static_cast<int>(img.height);
                EXPECT_EQ(Decode(coded, p), rows);
            }
        }
    }
}

TEST(CCITTEncode, CompletesTheLastRowAndRejectsNoColumns)
{
    CCITTParams p;
    p.k = -1;
    p.columns = 20;
    p.black_is_1 = true;
    // One row and half of the next: the rest of the second row is white.
    Bytes coded = Encode(Bytes{0xFF, 0x00, 0xF0, 0x0F}, p);
    EXPECT_EQ(Decode(coded, p), (Bytes{0xFF, 0x00, 0xF0, 0x0F, 0x00, 0x00}));

    p.columns = 0;
    EXPECT_THROW(qvx::Filters::CCITTFaxEncode(std::make_unique<qvx::Filters::MemoryFilter>(), p),
                 qvx::Common::Exception);
}
