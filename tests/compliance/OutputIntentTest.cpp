// Output intents and device colour: the destination profile, profile sharing between
// intents, external profiles, and DeviceGray, DeviceRGB and DeviceCMYK against the intent
// and the Default spaces; conversion adds the sRGB intent.
#include <gtest/gtest.h>

#include "pdf/ICCProfile.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;
using qvx::PDF::PDFACompliance;
using qvx::SDF::Obj;

namespace {

const std::string kFillRGB = "1 0 0 rg 0 0 10 10 re f";
const std::string kFillGray = "0.5 g 0 0 10 10 re f";
const std::string kFillCMYK = "0 0 0 1 k 0 0 10 10 re f";

}  // namespace

TEST(OutputIntents, DeviceColourIsComparedWithTheIntentsProfile)
{
    auto with = [](int intent_components, const std::string& content, int level = k2B) {
        PdfBuilder b = ColourFile(level, "<<>>", content);
        if (intent_components) AddIntent(b, intent_components);
        return Findings(b.Build(), level);
    };
    EXPECT_EQ(with(3, kFillRGB), "");
    EXPECT_EQ(with(4, kFillRGB), "2332(4)");
    EXPECT_EQ(with(0, kFillRGB), "2331(4)");
    EXPECT_EQ(with(4, kFillCMYK), "");
    EXPECT_EQ(with(3, kFillCMYK, k1B), "2332(4)");
    // DeviceGray needs any intent; the initial black is DeviceGray too.
    EXPECT_EQ(with(0, kFillGray), "2331(4)");
    EXPECT_EQ(with(4, kFillGray), "");
    EXPECT_EQ(with(1, kFillGray), "");
    EXPECT_EQ(with(0, "0 0 10 10 re f"), "2331(4)");
    EXPECT_EQ(with(0, "0 0 10 10 re n"), "");
    // Paths count what they paint: a stroke colour set but only filled paths drawn.
    EXPECT_EQ(with(1, "1 0 0 RG 0 0 10 10 re f"), "");
    EXPECT_EQ(with(1, "1 0 0 RG 0 0 10 10 re S"), "2332(4)");
}

TEST(OutputIntents, DefaultSpacesReplaceDeviceSpaces)
{
    PdfBuilder b = ColourFile(k2B, "<</ColorSpace<</DefaultRGB[/ICCBased 6 0 R]>>>>", kFillRGB);
    EXPECT_EQ(AddProfile(b, 3, Profile()), 6);
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    b.SetStream(4, "", kFillCMYK);
    EXPECT_EQ(Findings(b.Build(), k2B), "2331(4)");
    // A default that is the device space again serves nothing; conversion gives one that does.
    PdfBuilder d = ColourFile(k2B, "<</ColorSpace<</DefaultRGB/DeviceRGB>>>>", kFillRGB);
    EXPECT_EQ(Findings(d.Build(), k2B), "2331(4)");
    EXPECT_EQ(FindingsAfterConversion(d.Build(), k2B), "");
    d = ColourFile(k4, "<</ColorSpace<</DefaultCMYK/CMYK>>>>", kFillCMYK);
    AddIntent(d, 3);
    EXPECT_EQ(Findings(d.Build(), k4), "2332(4)");
}

TEST(OutputIntents, IntentsShareOneUsableProfile)
{
    PdfBuilder b = ColourFile(k2B, "<<>>", kFillRGB);
    int p = AddProfile(b, 3, Profile());
    int copy = AddProfile(b, 3, Profile());
    // One profile object for all intents passes; an identical copy does not.
    SetIntents(b, {Intent(p), Intent(p)});
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    SetIntents(b, {Intent(p), Intent(copy)});
    EXPECT_EQ(Findings(b.Build(), k2B), "221(1)");
    // A profile that is no stream, or no usable destination profile.
    int intent = SetIntents(b, {"<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier(x)"
                                "/DestOutputProfile<</N 3>>>>"});
    EXPECT_EQ(Findings(b.Build(), k2B), "232(" + std::to_string(intent) + ") 2331(4)");
    for (auto [profile, level, expect] : {std::tuple{Profile("RGB ", "scnr"), k2B, "232"},
                                          std::tuple{Profile("Lab "), k2B, "232"},
                                          std::tuple{Profile("RGB ", "mntr", 4), k1B, "232"},
                                          std::tuple{Profile("RGB ", "mntr", 4), k2B, ""},
                                          std::tuple{std::string(200, 'x'), k2B, "232"}}) {
        PdfBuilder f = ColourFile(level, "<<>>", "");
        int n = AddProfile(f, 3, profile);
        SetIntents(f, {Intent(n)});
        std::string got = Findings(f.Build(), level);
        EXPECT_EQ(got, std::string(expect).empty() ? "" : std::string(expect) + "(" + std::to_string(n) + ")")
            << level;
    }
    // No output condition named.
    intent = SetIntents(b, {"<</Type/OutputIntent/S/GTS_PDFA1/DestOutputProfile " + Ref(p) + ">>"});
    EXPECT_EQ(Findings(b.Build(), k2B), "11(" + std::to_string(intent) + ")");
    intent = SetIntents(b, {"<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier null/DestOutputProfile " + Ref(p) + ">>"});
    EXPECT_EQ(Findings(b.Build(), k2B), "11(" + std::to_string(intent) + ")");
    // A null external reference is no reference.
    SetIntents(b, {Intent(p), "<</Type/OutputIntent/S/GTS_PDFX/OutputConditionIdentifier(x)/DestOutputProfileRef null"
                              "/DestOutputProfile " + Ref(p) + ">>"});
    EXPECT_EQ(Findings(b.Build(), k2B), "");
}

TEST(OutputIntents, ExternalProfileReferences)
{
    PdfBuilder b = ColourFile(k2B, "<<>>", "");
    int p = AddProfile(b, 3, Profile());
    int intent = SetIntents(b, {Intent(p, "/DestOutputProfileRef<</URLs[(http://x)]>>")});
    std::string at = "2310(" + std::to_string(intent) + ")";
    EXPECT_EQ(Findings(b.Build(), k2B), "");
    SetIntents(b, {Intent(p), "<</Type/OutputIntent/S/GTS_PDFX/OutputConditionIdentifier(x)/DestOutputProfile " +
                                  Ref(p) + "/DestOutputProfileRef<<>>>>"});
    EXPECT_EQ(Findings(b.Build(), k2B), "2310(" + std::to_string(intent + 2) + ")");
    PdfBuilder c = ColourFile(k4, "<<>>", "");
    p = AddProfile(c, 3, Profile());
    intent = SetIntents(c, {Intent(p, "/DestOutputProfileRef<<>>")});
    EXPECT_EQ(Findings(c.Build(), k4), "2310(" + std::to_string(intent) + ")");
    // Conversion drops the reference; the embedded profiles serve.
    EXPECT_EQ(FindingsAfterConversion(c.Build(), k4), "");
    EXPECT_EQ(FindingsAfterConversion(b.Build(), k2B), "");
}

TEST(OutputIntents, ConversionLeavesOneSRGBIntent)
{
    // No intent at all, and an intent whose profile is damaged: both end with the sRGB one.
    PdfBuilder plain = ColourFile(k2B, "<<>>", kFillRGB);
    PdfBuilder damaged = ColourFile(k2B, "<<>>", kFillRGB);
    SetIntents(damaged, {Intent(AddProfile(damaged, 3, std::string(300, 'x')))});
    for (PdfBuilder* b : {&plain, &damaged}) {
        PDFACompliance run(true, ToBytes(b->Build()), nullptr, k2B, nullptr, 0, 0, false);
        qvx::SDF::Obj* intents = qvx::PDF::FindArray(run.GetDoc().GetRoot(), "OutputIntents");
        ASSERT_NE(intents, nullptr);
        ASSERT_EQ(intents->Size(), 1u);
        qvx::SDF::Obj* intent = qvx::PDF::Deref(intents->GetAt(0));
        EXPECT_EQ(qvx::PDF::FindName(intent, "S"), "GTS_PDFA1");
        auto icc = qvx::PDF::ICCProfile::FromStream(qvx::PDF::FindStream(intent, "DestOutputProfile"));
        ASSERT_NE(icc, nullptr);
        EXPECT_EQ(icc->GetColorSpace(), "RGB ");
        EXPECT_EQ(icc->GetVersion() >> 24, 2u);
        EXPECT_EQ(qvx::PDF::FindNumber(qvx::PDF::FindStream(intent, "DestOutputProfile"), "N", 0), 3);
    }
}

TEST(OutputIntents, ProfileWhoseNDiffersFromItsComponentsIsNoUsableIntent)
{
    // An sRGB profile declared with N 4, then one without N: 233 against the profile, the
    // content still judged against RGB; the copy takes the stored sRGB intent and passes.
    for (const std::string& n : {std::string("/N 4"), std::string()}) {
        PdfBuilder b = ColourFile(k1B, "<<>>", kFillRGB);
        int p = b.AddStream(n, Profile());
        SetIntents(b, {Intent(p)});
        EXPECT_EQ(Findings(b.Build(), k1B), "233(" + std::to_string(p) + ")") << n;
        PDFACompliance run(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
        Obj* intents = qvx::PDF::FindArray(qvx::PDF::FindDict(run.GetDoc().GetTrailer(), "Root"), "OutputIntents");
        ASSERT_TRUE(intents && intents->Size() == 1) << n;
        Obj* profile = qvx::PDF::FindIn(qvx::PDF::Deref(intents->GetAt(0)), "DestOutputProfile");
        EXPECT_EQ(qvx::PDF::FindNumber(profile, "N", 0), 3) << n;
        EXPECT_EQ(*qvx::PDF::ReadDecoded(profile, 1 << 20), qvx::PDF::SRGBProfileBytes()) << n;
        EXPECT_EQ(FindingsAfterConversion(b.Build(), k1B), "") << n;
    }
}
