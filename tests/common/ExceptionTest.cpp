#include <gtest/gtest.h>

#include "common/Exception.h"

using qvx::Common::Exception;

namespace {

void ThrowChecked(int value) { QVX_CHECK(value > 3, "value too small"); }

}  // namespace

TEST(Exception, FullTextHasEveryLabelledLineInOrder)
{
    try {
        ThrowChecked(1);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "value too small");
        EXPECT_EQ(e.GetCondition(), "value > 3");
        EXPECT_EQ(e.GetFileName(), "ExceptionTest.cpp");
        EXPECT_EQ(e.GetFunction(), "ThrowChecked");
        std::string t = e.GetFullText();
        std::string expected_start =
            "Exception: \n\t Message: value too small\n\t Conditional expression: value > 3"
            "\n\t Version      : 10.8.0-842bd75\n\t Platform     : ";
        EXPECT_EQ(t.substr(0, expected_start.size()), expected_start);
        auto arch = t.find("\n\t Architecture : ");
        auto file = t.find("\n\t Filename     : ExceptionTest.cpp\n\t Function     : ThrowChecked\n\t Linenumber   : ");
        ASSERT_NE(arch, std::string::npos);
        ASSERT_NE(file, std::string::npos);
        EXPECT_LT(arch, file);
        EXPECT_EQ(t.substr(t.rfind(": ") + 2), std::to_string(e.GetLineNumber()));
        EXPECT_STREQ(e.what(), "value too small");
    }
}

TEST(Exception, ExplicitFunctionAndBackslashPaths)
{
    Exception e("m", "c", "C:\\src\\SDF\\Obj.cpp", "IllegalFunctionException", 7);
    EXPECT_EQ(e.GetFileName(), "Obj.cpp");
    EXPECT_EQ(e.GetFunction(), "IllegalFunctionException");
    EXPECT_NE(e.GetFullText().find("\n\t Linenumber   : 7"), std::string::npos);
}
