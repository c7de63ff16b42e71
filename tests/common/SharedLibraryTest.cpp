#include <gtest/gtest.h>

#include "common/Digest.h"
#include "common/Exception.h"
#include "common/SharedLibrary.h"

using namespace qvx;

TEST(SharedLibrary, LoadsOnFirstUseAndNamesWhatIsMissing)
{
    // The first name that loads wins; a missing library or symbol is an error naming it.
    Common::SharedLibrary lib({"libqvx-no-such-library.so.9", "libz.so.1"});
    EXPECT_NE(lib.Symbol("zlibVersion"), nullptr);
    try {
        lib.Symbol("qvx_no_such_function");
        ADD_FAILURE() << "a missing symbol was found";
    } catch (const Common::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("libz.so.1 has no function qvx_no_such_function"), std::string::npos)
            << e.what();
    }
    try {
        Common::SharedLibrary missing({"libqvx-no-such-library.so.9"});
        ADD_FAILURE() << "a missing library was loaded";
    } catch (const Common::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot load the library libqvx-no-such-library.so.9"), std::string::npos)
            << e.what();
    }
    // The digest through the library loaded at run time (RFC 1321's test value).
    std::array<Common::Byte, 16> md5 = Common::Md5(Common::AsBytes("abc"));
    EXPECT_EQ(md5[0], 0x90);
    EXPECT_EQ(md5[15], 0x72);
    EXPECT_EQ(Common::Sha256Hex(Common::AsBytes("abc")).substr(0, 8),
              "ba7816bf");
}
