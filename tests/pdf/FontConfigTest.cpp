#include <gtest/gtest.h>

#include <sstream>

#include "common/Exception.h"
#include "pdf/FontConfig.h"
#include "tests/support/TestEnv.h"

using qvx::Common::Exception;
using qvx::PDF::FontConfig;
using qvx::PDF::LoadConfigFile;

namespace {

std::string Failure(const std::string& xml)
{
    std::istringstream in(xml);
    try {
        FontConfig::Instance().Load(in);
    } catch (const Exception& e) {
        return e.GetMessage();
    }
    return "loaded";
}

}  // namespace

TEST(FontConfig, LoadsEntriesFromElementsOrAttributes)
{
    qvx::Test::TempDir dir;
    auto path = dir.Write("config.xml", R"(<?xml version="1.0"?>
<!-- substitutes -->
<config>
  <fonts>
    <subst><collection>Japan1</collection><file>/fonts/mincho.otf</file><name>Mincho</name></subst>
    <other/>
    <subst collection="gb1" file="/fonts/song.ttf" name="Song"/>
  </fonts>
</config>)");
    LoadConfigFile(path.string());
    auto entries = FontConfig::Instance().Substitutes();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].collection, "japan1");
    EXPECT_EQ(entries[0].file, "/fonts/mincho.otf");
    EXPECT_EQ(entries[0].name, "Mincho");
    EXPECT_EQ(entries[1].collection, "gb1");
    EXPECT_EQ(entries[1].name, "Song");

    // A faulty file leaves what was loaded before.
    EXPECT_NE(Failure("<config><fonts><subst><collection>latin</collection><file>f</file><name>n</name></subst>"
                      "</fonts></config>")
                  .find("Unknown character collection"),
              std::string::npos);
    EXPECT_NE(Failure("<config><fonts><subst><collection>cns1</collection><name>n</name></subst></fonts></config>")
                  .find("without file"),
              std::string::npos);
    EXPECT_NE(Failure("<fonts/>").find("no 'config'"), std::string::npos);
    EXPECT_NE(Failure("<config><fonts>").find("Malformed"), std::string::npos);
    EXPECT_EQ(FontConfig::Instance().Substitutes().size(), 2u);

    EXPECT_EQ(Failure("<config/>"), "loaded");
    EXPECT_TRUE(FontConfig::Instance().Substitutes().empty());
}

TEST(FontConfig, RefusesMissingFilesAndHostileInput)
{
    try {
        LoadConfigFile("/nonexistent/config.xml");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.GetMessage(), "Failed to find the given Lumbra configuration file.");
        EXPECT_EQ(e.GetCondition(), "boost::filesystem::exists(path)");
    }
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    EXPECT_EQ(Failure("<config>" + deep), "Configuration file nests too deeply");
    // Closing tags hidden where the reader does not see them do not lower the count.
    std::string hidden = "<config>";
    for (int i = 0; i < 40; ++i) hidden += "<a><!-- </a> --><b x='/>'>";
    EXPECT_EQ(Failure(hidden), "Configuration file nests too deeply");
    EXPECT_EQ(Failure("<!DOCTYPE config [<!ENTITY e 'x'>]><config/>"), "Unsupported markup in configuration file");
    EXPECT_EQ(Failure(std::string(2 << 20, ' ')), "Configuration file too large");
}
