// Conversion's colour repairs: DeviceCMYK under an RGB output intent gets the built CMYK
// profile (DefaultCMYK, or the alternate of a Separation), DeviceRGB under a CMYK intent the
// sRGB profile, DeviceN colorants get their Separations; the converted pages pass and look
// as they did.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "common/UString.h"
#include "pdf/ColorSpace.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ColourRepair.h"
#include "render/ColourConvert.h"
#include "render/FunctionEval.h"
#include "render/PageRenderer.h"
#include "sdf/SDFDoc.h"
#include "tests/compliance/ColourTestSupport.h"
#include "tests/support/TestEnv.h"

using namespace qvx::Test;
namespace PDF = qvx::PDF;
namespace Render = qvx::Render;
namespace fs = std::filesystem;
using qvx::SDF::Obj;

namespace {

// The converted copy of pdf at level, read back.
std::unique_ptr<qvx::SDF::SDFDoc> Converted(const std::string& pdf, int level, std::string& bytes)
{
    TempDir dir;
    PDF::PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
    fs::path out = dir.Path() / "out.pdf";
    run.SaveAs(qvx::Common::UString::FromFileName(out.string()), false);
    bytes = ReadFile(out);
    auto doc = std::make_unique<qvx::SDF::SDFDoc>();
    doc->OpenBuffer(ToBytes(bytes));
    return doc;
}

Render::Bitmap Draw(qvx::SDF::SDFDoc& doc)
{
    PDF::PageTree pages(doc);
    Render::RenderOptions opt;
    opt.dpi = 36;
    return Render::RenderPage(doc, pages.GetPage(0), opt).bitmap;
}

// The largest difference of one channel between two drawings of the same size.
int MaxDifference(const Render::Bitmap& a, const Render::Bitmap& b)
{
    if (a.width != b.width || a.height != b.height || a.data.size() != b.data.size()) return 256;
    int worst = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) worst = std::max(worst, std::abs(a.data[i] - b.data[i]));
    return worst;
}

Obj* PageResources(qvx::SDF::SDFDoc& doc) { return PDF::PageTree(doc).GetPage(0).GetResourceDict(); }

std::string ToString(const qvx::Common::Bytes& b) { return std::string(b.begin(), b.end()); }

}  // namespace

TEST(ColourRepair, CMYKProfileHoldsTheRenderersColours)
{
    const qvx::Common::Bytes& bytes = PDF::CMYKProfileBytes();
    const std::string b(bytes.begin(), bytes.end());
    ASSERT_GT(b.size(), 128u);
    EXPECT_EQ(b.substr(8, 4), std::string("\x02\x10\x00\x00", 4));
    EXPECT_EQ(b.substr(12, 12), "scnrCMYKLab ");
    EXPECT_EQ(b.substr(36, 4), "acsp");
    // The fixed creation date and no profile ID: every run writes the same bytes.
    EXPECT_EQ(b.substr(24, 12), std::string("\x07\xea\x00\x0c\x00\x07\x00\x00\x00\x00\x00\x00", 12));
    EXPECT_EQ(b.substr(84, 16), std::string(16, '\0'));
    auto icc = PDF::ICCProfile::FromBytes(bytes);
    ASSERT_NE(icc, nullptr);
    EXPECT_EQ(icc->GetComponentCount(), 4);
    EXPECT_EQ(icc->GetVersion() >> 24, 2u);
    // Little CMS reads it as an input profile of CMYK data over Lab, and readers that ask
    // for the relative colorimetric intent (the default of pages) get paper as white.
    cmsHPROFILE h = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    ASSERT_TRUE(h && srgb);
    EXPECT_EQ(cmsGetDeviceClass(h), cmsSigInputClass);
    EXPECT_EQ(cmsGetColorSpace(h), cmsSigCmykData);
    EXPECT_EQ(cmsGetPCS(h), cmsSigLabData);
    EXPECT_TRUE(cmsIsIntentSupported(h, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT));
    cmsHTRANSFORM t = cmsCreateTransform(h, TYPE_CMYK_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_NE(t, nullptr);
    const std::uint8_t paper[4] = {0, 0, 0, 0};
    std::uint8_t white[3] = {};
    cmsDoTransform(t, paper, white, 1);
    EXPECT_EQ(white[0] + white[1] + white[2], 3 * 255);
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(h);

    // The stored form inflates to the profile.
    const qvx::Common::Bytes& stored = PDF::CMYKProfileStored();
    qvx::Common::Bytes plain(bytes.size() + 16);
    uLongf size = plain.size();
    ASSERT_EQ(uncompress(plain.data(), &size, stored.data(), stored.size()), Z_OK);
    plain.resize(size);
    EXPECT_EQ(plain, bytes);

    // Colours through the profile are the renderer's DeviceCMYK colours, also between the
    // table's grid points.
    PdfBuilder f = ColourFile(k2B, "<<>>", "");
    int profile = AddProfile(f, 4, b);
    int space = f.Add("[/ICCBased " + Ref(profile) + "]");
    qvx::SDF::SDFDoc doc;
    doc.OpenBuffer(ToBytes(f.Build()));
    auto cs = PDF::ColorSpace::Create(doc.GetObj(static_cast<std::uint32_t>(space)));
    ASSERT_NE(cs, nullptr);
    ASSERT_EQ(cs->GetFamily(), PDF::ColorSpace::e_icc);
    Render::ColourConvert colours;
    const double steps[] = {0, 0.07, 0.23, 0.5, 0.64, 0.93, 1};
    double worst = 0;
    for (double c : steps)
        for (double m : steps)
            for (double y : steps)
                for (double k : steps) {
                    const double cmyk[4] = {c, m, y, k};
                    Render::RGB want = Render::ColourConvert::CmykFormula(c, m, y, k);
                    Render::RGB got = colours.ToRGB(cs.get(), cmyk, 4);
                    worst = std::max({worst, std::abs(want.r - got.r), std::abs(want.g - got.g), std::abs(want.b - got.b)});
                }
    EXPECT_LE(worst * 255, 2.0) << worst * 255;
}

TEST(ColourRepair, DeviceCMYKTakesTheProfileAndKeepsItsLook)
{
    const std::string sep = "[/Separation/Gold/DeviceCMYK<</FunctionType 2/Domain[0 1]/C0[0 0 0 0]/C1[0 0.3 0.9 0.1]/N 1>>]";
    for (int level : {k1B, k2B}) {
        // Paths, an image and a form in DeviceCMYK: the page and the form (which has
        // resources of its own) get DefaultCMYK.
        PdfBuilder f = ColourFile(level, "<</XObject<</Fm 6 0 R/Im 7 0 R>>>>",
                                  "0.1 0.7 0.2 0.05 k 0 0 100 200 re f q 100 0 0 100 100 100 cm /Im Do Q /Fm Do");
        f.SetStream(6, "/Type/XObject/Subtype/Form/BBox[0 0 200 200]/Resources<<>>", "0 0.5 1 0 k 0 100 50 50 re f");
        f.SetStream(7, "/Type/XObject/Subtype/Image/Width 2/Height 1/ColorSpace/DeviceCMYK/BitsPerComponent 8",
                    std::string("\x20\x80\x00\x10\x00\x00\xff\x40", 8));
        // A Separation whose alternate is DeviceCMYK gets the profile as its alternate.
        PdfBuilder g = ColourFile(level, "<</ColorSpace<</Sp " + sep + ">>>>", "/Sp cs 0.8 sc 0 0 100 100 re f");
        std::vector<std::pair<std::string, std::string>> cases = {{f.Build(), "2331(4 6)"}, {g.Build(), "2341(3)"}};
        // Under an RGB output intent of the file's own.
        AddIntent(f, 3);
        cases.emplace_back(f.Build(), "2332(4 6)");
        for (const auto& [pdf, code] : cases) {
            EXPECT_EQ(Findings(pdf, level), code);
            std::string bytes;
            auto doc = Converted(pdf, level, bytes);
            EXPECT_EQ(Findings(bytes, level), "") << level;
            Obj* page_spaces = PDF::FindDict(PageResources(*doc), "ColorSpace");
            Obj* gold = PDF::FindIn(page_spaces, "Sp");
            Obj* space = gold ? PDF::Deref(gold->GetAt(2)) : PDF::FindIn(page_spaces, "DefaultCMYK");
            ASSERT_TRUE(space && space->IsArray() && space->Size() == 2);
            EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(space->GetAt(0)), "ICCBased"));
            Obj* profile = PDF::Deref(space->GetAt(1));
            ASSERT_TRUE(profile && profile->IsStream());
            auto data = PDF::ReadDecoded(profile, 1 << 22);
            ASSERT_TRUE(data);
            EXPECT_EQ(*data, PDF::CMYKProfileBytes());
            if (!gold) {
                // One profile space serves the page and the form.
                Obj* form = PDF::FindIn(PDF::FindDict(PageResources(*doc), "XObject"), "Fm");
                Obj* form_spaces = PDF::FindDict(PDF::FindDict(form, "Resources"), "ColorSpace");
                EXPECT_EQ(PDF::FindIn(form_spaces, "DefaultCMYK"), space);
            }
            // The page looks as it did.
            qvx::SDF::SDFDoc original;
            original.OpenBuffer(ToBytes(pdf));
            EXPECT_LE(MaxDifference(Draw(original), Draw(*doc)), 3) << level;
        }
    }
}

TEST(ColourRepair, DeviceNColorantsGetSeparations)
{
    // Gold is known from a Separation the page used before; Silver is not.
    const std::string gold = "[/Separation/Gold/DeviceRGB 8 0 R]";
    const std::string device_n = "[/DeviceN[/Gold/Silver/None]/DeviceRGB 9 0 R]";
    PdfBuilder f = ColourFile(k2B, "<</ColorSpace<</Sg " + gold + "/DN " + device_n + ">>>>",
                              "/Sg cs 0.5 sc 0 0 50 50 re f /DN cs 0.3 0.8 0.5 sc 50 50 100 100 re f");
    f.SetStream(8, "/FunctionType 4/Domain[0 1]/Range[0 1 0 1 0 1]", "{dup 0.5 mul exch 0 exch}");
    f.SetStream(9, "/FunctionType 4/Domain[0 1 0 1 0 1]/Range[0 1 0 1 0 1]",
                "{pop 2 copy add 2 div 3 1 roll 0.5 mul exch 0.25 mul}");
    const std::string pdf = f.Build();
    EXPECT_NE(Findings(pdf, k2B).find("24211(3)"), std::string::npos);

    std::string bytes;
    auto doc = Converted(pdf, k2B, bytes);
    EXPECT_EQ(Findings(bytes, k2B), "");
    Obj* dn = PDF::FindIn(PDF::FindDict(PageResources(*doc), "ColorSpace"), "DN");
    ASSERT_TRUE(dn && dn->IsArray() && dn->Size() == 5);
    Obj* colorants = PDF::FindDict(PDF::Deref(dn->GetAt(4)), "Colorants");
    ASSERT_NE(colorants, nullptr);
    EXPECT_EQ(colorants->FindObj("None"), nullptr);
    // Gold reuses the page's Separation: the same tint transform object.
    Obj* g = PDF::FindIn(colorants, "Gold");
    ASSERT_TRUE(g && g->IsArray() && g->Size() == 4);
    Obj* page_gold = PDF::FindIn(PDF::FindDict(PageResources(*doc), "ColorSpace"), "Sg");
    EXPECT_EQ(PDF::Deref(g->GetAt(3)), PDF::Deref(page_gold->GetAt(3)));
    // Silver paints what the DeviceN paints with Silver alone.
    Obj* s = PDF::FindIn(colorants, "Silver");
    ASSERT_TRUE(s && s->IsArray() && s->Size() == 4);
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(s->GetAt(0)), "Separation"));
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(s->GetAt(1)), "Silver"));
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(s->GetAt(2)), "DeviceRGB"));
    auto sampled = Render::FunctionEval::Create(s->GetAt(3));
    auto whole = Render::FunctionEval::Create(dn->GetAt(3));
    ASSERT_TRUE(sampled && whole);
    ASSERT_EQ(sampled->Outputs(), 3);
    for (double t : {0.0, 0.1, 0.37, 0.5, 0.9, 1.0}) {
        const double one[1] = {t}, all[3] = {0, t, 0};
        double a[3], b[3];
        sampled->Eval(one, 1, a);
        whole->Eval(all, 3, b);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 1e-3) << t << " " << k;
    }
    qvx::SDF::SDFDoc original;
    original.OpenBuffer(ToBytes(pdf));
    EXPECT_LE(MaxDifference(Draw(original), Draw(*doc)), 1);
}

TEST(ColourRepair, SeparationsOfOneNameThatDifferAreNamedApart)
{
    // Three Separations named Spot: the second differs in its tint transform, the third in
    // its alternate. Then a DeviceN colorant Spot that differs again, and All, which means
    // every plate and keeps its name.
    const std::string tint = "<</FunctionType 2/Domain[0 1]/C0[1 1 1]/C1[0.9 0.6 0.1]/N 1>>";
    const std::string other = "<</FunctionType 2/Domain[0 1]/C0[1 1 1]/C1[0.1 0.2 0.8]/N 1>>";
    const std::string cal = "[/CalRGB<</WhitePoint[0.9505 1 1.089]>>]";
    PdfBuilder f = ColourFile(k2B,
                              "<</ColorSpace<</S1[/Separation/Spot/DeviceRGB " + tint + "]/S2[/Separation/Spot/DeviceRGB " +
                                  other + "]/S3[/Separation/Spot " + cal + " " + tint + "]>>>>",
                              "/S1 cs 0.8 sc 0 0 60 200 re f /S2 cs 0.8 sc 60 0 60 200 re f "
                              "/S3 cs 0.8 sc 120 0 80 200 re f");
    AddIntent(f, 3);
    const std::string pdf = f.Build();
    EXPECT_EQ(Findings(pdf, k2B), "24212(3) 24213(3)");
    std::string bytes;
    auto doc = Converted(pdf, k2B, bytes);
    EXPECT_EQ(Findings(bytes, k2B), "");
    Obj* spaces = PDF::FindDict(PageResources(*doc), "ColorSpace");
    auto name = [&](const char* key) { return std::string(PDF::Deref(PDF::FindIn(spaces, key)->GetAt(1))->GetName()); };
    EXPECT_EQ(name("S1"), "Spot");
    EXPECT_EQ(name("S2"), "Spot_2");
    EXPECT_EQ(name("S3"), "Spot_3");
    qvx::SDF::SDFDoc original;
    original.OpenBuffer(ToBytes(pdf));
    EXPECT_LE(MaxDifference(Draw(original), Draw(*doc)), 1);

    // The DeviceN's names, its Colorants key and the Separation take the new name together.
    const std::string device_n = "[/DeviceN[/Spot/Gold]/DeviceRGB 40 0 R<</Colorants<</Spot[/Separation/Spot/DeviceRGB " +
                                 other + "]/Gold[/Separation/Gold/DeviceRGB " + tint + "]>>>>]";
    PdfBuilder g = ColourFile(k2B, "<</ColorSpace<</S1[/Separation/Spot/DeviceRGB " + tint + "]/DN " + device_n + ">>>>",
                              "/S1 cs 0.8 sc 0 0 50 50 re f /DN cs 0.5 0.3 sc 50 50 50 50 re f");
    g.SetStream(40, "/FunctionType 4/Domain[0 1 0 1]/Range[0 1 0 1 0 1]", "{pop dup dup}");
    AddIntent(g, 3);
    EXPECT_EQ(Findings(g.Build(), k2B), "24212(3)");
    doc = Converted(g.Build(), k2B, bytes);
    EXPECT_EQ(Findings(bytes, k2B), "");
    Obj* dn = PDF::FindIn(PDF::FindDict(PageResources(*doc), "ColorSpace"), "DN");
    ASSERT_TRUE(dn && dn->IsArray() && dn->Size() == 5);
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(dn->GetAt(1))->GetAt(0), "Spot_2"));
    Obj* colorants = PDF::FindDict(PDF::Deref(dn->GetAt(4)), "Colorants");
    ASSERT_TRUE(colorants && !colorants->FindObj("Spot") && colorants->FindObj("Gold"));
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(PDF::FindIn(colorants, "Spot_2")->GetAt(1)), "Spot_2"));

    PdfBuilder all = ColourFile(k2B,
                                "<</ColorSpace<</A1[/Separation/All/DeviceRGB " + tint + "]/A2[/Separation/All/DeviceRGB " +
                                    other + "]>>>>",
                                "/A1 cs 0.8 sc 0 0 50 50 re f /A2 cs 0.5 sc 50 50 50 50 re f");
    AddIntent(all, 3);
    EXPECT_EQ(FindingsAfterConversion(all.Build(), k2B), "24212(3)");
}

TEST(ColourRepair, DeviceRGBUnderACMYKIntentTakesSRGB)
{
    const std::string sep = "[/Separation/Gold/DeviceRGB<</FunctionType 2/Domain[0 1]/C0[1 1 1]/C1[0.9 0.6 0.1]/N 1>>]";
    for (int level : {k1B, k2B}) {
        PdfBuilder f = ColourFile(level, "<</ColorSpace<</Sp " + sep + ">>>>",
                                  "0.2 0.5 0.9 rg 0 0 100 200 re f /Sp cs 0.8 sc 100 0 100 100 re f");
        AddIntent(f, 4);
        const std::string pdf = f.Build();
        EXPECT_EQ(Findings(pdf, level), "2332(4) 2341(3)");
        std::string bytes;
        auto doc = Converted(pdf, level, bytes);
        EXPECT_EQ(Findings(bytes, level), "") << level;
        Obj* spaces = PDF::FindDict(PageResources(*doc), "ColorSpace");
        Obj* space = PDF::FindIn(spaces, "DefaultRGB");
        ASSERT_TRUE(space && space->IsArray() && space->Size() == 2);
        auto data = PDF::ReadDecoded(PDF::Deref(space->GetAt(1)), 1 << 20);
        ASSERT_TRUE(data);
        EXPECT_EQ(*data, PDF::SRGBProfileBytes());
        // The page's Default serves the Separation's alternate as well; the CMYK intent stays.
        EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(PDF::FindIn(spaces, "Sp")->GetAt(2)), "DeviceRGB"));
        Obj* intents = PDF::FindArray(doc->GetRoot(), "OutputIntents");
        ASSERT_TRUE(intents && intents->Size() == 1);
        EXPECT_EQ(PDF::FindStream(PDF::Deref(intents->GetAt(0)), "DestOutputProfile")->FindObj("N")->GetNumber(), 4);
        qvx::SDF::SDFDoc original;
        original.OpenBuffer(ToBytes(pdf));
        EXPECT_LE(MaxDifference(Draw(original), Draw(*doc)), 1) << level;
    }
    // Without DeviceRGB of its own, the page's Separation takes the sRGB space as alternate.
    PdfBuilder g = ColourFile(k2B, "<</ColorSpace<</Sp " + sep + ">>>>", "/Sp cs 0.8 sc 100 0 100 100 re f");
    AddIntent(g, 4);
    EXPECT_EQ(Findings(g.Build(), k2B), "2341(3)");
    std::string bytes;
    auto doc = Converted(g.Build(), k2B, bytes);
    EXPECT_EQ(Findings(bytes, k2B), "");
    Obj* alt = PDF::Deref(PDF::FindIn(PDF::FindDict(PageResources(*doc), "ColorSpace"), "Sp")->GetAt(2));
    ASSERT_TRUE(alt && alt->IsArray());
    EXPECT_TRUE(PDF::IsNameOf(PDF::Deref(alt->GetAt(0)), "ICCBased"));
    qvx::SDF::SDFDoc original;
    original.OpenBuffer(ToBytes(g.Build()));
    EXPECT_LE(MaxDifference(Draw(original), Draw(*doc)), 1);
}

TEST(ColourRepair, ProfilesGetTheComponentsTheirNSays)
{
    const std::string cmyk = ToString(PDF::CMYKProfileBytes());
    struct Case {
        std::string n;  // the profile stream's N entry
        std::string profile, content;
        std::string copy;  // the converted copy's findings
    };
    // N 3 over a CMYK profile and N 4 over an RGB one: readers take the operands as N says,
    // so the profile becomes the stock one of N components. No N: the profile's own count is
    // written. N 1 over an RGB profile has no stock profile to take and keeps its finding.
    const Case cases[] = {{"/N 3", cmyk, "/CS0 cs 1 0 0 sc 0 0 10 10 re f", ""},
                          {"/N 4", Profile(), "/CS0 cs 0 0 0 1 sc 0 0 10 10 re f", ""},
                          {"", Profile(), "/CS0 cs 1 0 0 sc 0 0 10 10 re f", ""},
                          {"/N 1", Profile(), "/CS0 cs 1 sc 0 0 10 10 re f", "233(6)"}};
    for (const Case& c : cases) {
        PdfBuilder f = ColourFile(k2B, "<</ColorSpace<</CS0[/ICCBased 6 0 R]>>>>", c.content);
        ASSERT_EQ(f.AddStream(c.n, c.profile), 6);
        SetIntents(f, {Intent(AddProfile(f, 3, Profile()))});
        const std::string pdf = f.Build();
        EXPECT_EQ(Findings(pdf, k2B), "233(6)") << c.n;
        std::string bytes;
        auto doc = Converted(pdf, k2B, bytes);
        EXPECT_EQ(Findings(bytes, k2B), c.copy) << c.n;
        Obj* space = PDF::FindIn(PDF::FindDict(PageResources(*doc), "ColorSpace"), "CS0");
        ASSERT_TRUE(space && space->IsArray() && space->Size() == 2);
        Obj* profile = PDF::Deref(space->GetAt(1));
        auto data = PDF::ReadDecoded(profile, 1 << 22);
        ASSERT_TRUE(data);
        const std::string kept = ToString(*data);
        if (c.n == "/N 3") {
            EXPECT_EQ(kept, ToString(PDF::SRGBProfileBytes()));
        }
        if (c.n == "/N 4") {
            EXPECT_EQ(kept, cmyk);
        }
        if (c.n.empty()) {
            EXPECT_EQ(kept, c.profile);
            EXPECT_EQ(PDF::FindNumber(profile, "N", 0), 3);
        }
    }
}
