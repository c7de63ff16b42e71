#include <gtest/gtest.h>

#include "PdfTestDoc.h"
#include <cmath>

#include "common/Exception.h"
#include "pdf/Action.h"
#include "pdf/Annot.h"
#include "pdf/ColorSpace.h"
#include "pdf/ExtGState.h"
#include "pdf/Field.h"
#include "pdf/Group.h"
#include "pdf/Image.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "pdf/Resources.h"
#include "pdf/Shading.h"

using namespace qvx;
using PDF::ColorSpace;
using qvx::Test::TestDoc;

namespace {

// The smallest profile lcms2 opens: a 128-byte header and an empty tag table.
std::string IccHeader(const char* space, const char* cls)
{
    std::string p(132, '\0');
    p[3] = static_cast<char>(132);
    p[8] = 0x02;
    p[9] = 0x10;
    p.replace(12, 4, cls);
    p.replace(16, 4, space);
    p.replace(20, 4, "XYZ ");
    p.replace(36, 4, "acsp");
    return p;
}

}  // namespace

TEST(ColorSpace, FamiliesAndResources)
{
    TestDoc t;
    t.SetStream(2, "<< /N 4 >>", IccHeader("CMYK", "prtr"));
    t.SetStream(3, "<< /N 3 /Alternate /DeviceRGB >>", "not a profile");
    t.Set(4, "<< /ColorSpace << /CS0 [/ICCBased @2] /Idx [/I /DeviceRGB 1 <000000FFFFFF>] "
             "/DN [/DeviceN [/Cyan /Spot] /DeviceCMYK @5 << /Subtype /NChannel /Colorants << /Spot [/Separation /Spot /DeviceGray @5] >> "
             "/Process << /ColorSpace /DeviceCMYK /Components [/Cyan] >> >>] /Loop /Loop >> >>");
    t.Set(5, "<< /FunctionType 2 /Domain [0 1] /C0 [0] /C1 [1] /N 1 >>");
    PDF::Resources res(t.Get(4));
    auto name = [&](std::string_view n) { return ColorSpace::Create(t.Parse("/" + std::string(n)).release(), &res); };

    auto icc = name("CS0");
    ASSERT_TRUE(icc);
    EXPECT_EQ(icc->GetFamily(), ColorSpace::e_icc);
    EXPECT_EQ(icc->GetComponentCount(), 4);
    ASSERT_TRUE(icc->GetICCProfile());
    EXPECT_EQ(icc->GetICCProfile()->GetColorSpace(), "CMYK");
    EXPECT_EQ(icc->GetICCProfile()->GetDeviceClass(), "prtr");
    EXPECT_EQ(icc->GetICCProfile()->GetComponentCount(), 4);

    auto bad = ColorSpace::Create(t.Parse("[/ICCBased @3]").release());
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->GetICCProfile(), nullptr);  // not a profile: the checks report it
    EXPECT_EQ(bad->GetBase()->GetFamily(), ColorSpace::e_device_rgb);

    auto idx = name("Idx");
    ASSERT_TRUE(idx);
    EXPECT_EQ(idx->GetFamily(), ColorSpace::e_indexed);
    EXPECT_EQ(idx->GetHighVal(), 1);
    EXPECT_EQ(idx->GetBase()->GetFamily(), ColorSpace::e_device_rgb);

    auto dn = name("DN");
    ASSERT_TRUE(dn);
    EXPECT_EQ(dn->GetFamily(), ColorSpace::e_device_n);
    EXPECT_EQ(dn->GetComponentCount(), 2);
    EXPECT_EQ(dn->GetAttributesSubtype(), "NChannel");
    EXPECT_TRUE(PDF::FindIn(dn->GetColorantsDict(), "Spot"));
    EXPECT_EQ(dn->GetProcessSpace()->GetFamily(), ColorSpace::e_device_cmyk);
    EXPECT_EQ(dn->GetProcessComponents(), std::vector<std::string>{"Cyan"});
    EXPECT_EQ(dn->GetTintTransform(), t.Get(5)->Resolve());

    EXPECT_EQ(name("Loop"), nullptr);      // a name that names itself
    EXPECT_EQ(name("Missing"), nullptr);
    EXPECT_EQ(name("DeviceCMYK")->GetComponentCount(), 4);
    EXPECT_EQ(ColorSpace::Create(t.Parse("[/Pattern /DeviceRGB]").release())->GetComponentCount(), 3);
    EXPECT_EQ(ColorSpace::Create(t.Parse("[/Lab << /WhitePoint [1 1 1] >>]").release())->GetFamily(), ColorSpace::e_lab);
    EXPECT_EQ(ColorSpace::Create(t.Parse("[/Separation /S]").release()), nullptr);  // no alternate

    std::string names;
    for (int i = 0; i < 33; ++i) names += " /C" + std::to_string(i);
    auto too_many = t.Parse("[/DeviceN [" + names + "] /DeviceCMYK 0]");
    try {
        ColorSpace::Create(too_many.get());
        FAIL() << "no exception";
    } catch (const Common::Exception& e) {
        EXPECT_STREQ(e.what(), "Corrupt DeviceN ColorSpace - too many channels");
    }
}

TEST(Models, ExtGStateImageShadingPatternGroup)
{
    TestDoc t;
    auto gs = t.Parse("<< /CA 0.5 /ca /X /BM [/Multiply /Normal] /SMask << /S /Luminosity >> /TR2 /Default "
                      "/OP true /HTP 1 /HT << /HalftoneType 6 >> /LW 3 /Font [@2 12] >>");
    PDF::ExtGState g = PDF::ExtGState::Read(gs.get());
    EXPECT_EQ(*g.stroke_alpha, 0.5);
    EXPECT_TRUE(std::isnan(*g.fill_alpha));
    EXPECT_EQ(*g.blend_mode, "Multiply");
    EXPECT_TRUE(g.soft_mask && g.soft_mask->IsDict());
    EXPECT_TRUE(PDF::IsNameOf(g.transfer, "Default"));
    EXPECT_TRUE(*g.stroke_overprint && *g.fill_overprint);
    EXPECT_TRUE(g.has_htp);
    EXPECT_FALSE(g.has_hto);
    EXPECT_EQ(*g.line_width, 3);
    EXPECT_TRUE(PDF::IsStandardBlendMode("Compatible"));
    EXPECT_FALSE(PDF::IsStandardBlendMode("Foo"));
    EXPECT_TRUE(PDF::IsStandardRenderingIntent("Perceptual"));

    t.SetStream(3, "<< /Subtype /Image /Width 10 /Height 5 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Intent /Foo "
                   "/Interpolate true /OPI << >> /SMask @4 /Filter [/FlateDecode /DCTDecode] >>", "");
    t.SetStream(4, "<< /Subtype /Image >>", "");
    PDF::ImageInfo im = PDF::ImageInfo::Read(t.Get(3), false);
    EXPECT_EQ(im.width, 10);
    EXPECT_EQ(im.bits_per_component, 8);
    EXPECT_EQ(im.intent, "Foo");
    EXPECT_TRUE(im.interpolate && im.has_opi && !im.has_alternates);
    EXPECT_EQ(im.smask, t.Get(4)->Resolve());
    EXPECT_EQ(im.filters, (std::vector<std::string>{"FlateDecode", "DCTDecode"}));

    t.SetStream(5, "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 /Matrix [1 0 0 1 5 5] /Resources << >> >>", "0 0 m");
    PDF::Pattern tiling = PDF::Pattern::Read(t.Get(5));
    EXPECT_EQ(tiling.type, 1);
    EXPECT_EQ(tiling.matrix.e, 5);
    EXPECT_TRUE(tiling.resources);
    PDF::Pattern sh = PDF::Pattern::Read(t.Parse("<< /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceCMYK "
                                                 "/Function [<< /FunctionType 3 /Domain [0 1] /Functions [<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [1 1 1 1] /N 1 >>] >>] >> >>").release());
    EXPECT_EQ(sh.type, 2);
    EXPECT_EQ(sh.shading.type, 2);
    EXPECT_TRUE(PDF::IsNameOf(sh.shading.color_space, "DeviceCMYK"));
    EXPECT_EQ(sh.shading.function.type, 3);
    ASSERT_EQ(sh.shading.function.functions.size(), 1u);
    EXPECT_EQ(sh.shading.function.outputs, 4);
    EXPECT_EQ(PDF::Shading::Read(t.Parse("<< /ShadingType 4 >>").release()).type, 0);  // mesh types are streams

    PDF::Group grp = PDF::Group::Of(t.Parse("<< /Group << /S /Transparency /CS /DeviceRGB /I true >> >>").release());
    EXPECT_TRUE(grp.is_transparency && grp.isolated && !grp.knockout);
    EXPECT_TRUE(PDF::IsNameOf(grp.color_space, "DeviceRGB"));
}

TEST(Models, AnnotationsActionsAndFields)
{
    TestDoc t;
    t.Set(1, "<< /Type /Catalog /Pages @2 /AcroForm << /Fields [@6 @9] >> >>");
    t.Set(2, "<< /Type /Pages /Kids [@3] /Count 1 >>");
    t.Set(3, "<< /Type /Page /Parent @2 /Annots [@4 @7 @8 5 @10] >>");
    t.Set(4, "<< /Subtype /Link /Rect [10 20 0 0] /A << /S /Named /N /Print /Next [<< /S /JavaScript >> 3] >> >>");
    t.SetStream(5, "<< /Subtype /Form >>", "");
    t.Set(6, "<< /T (grp) /FT /Btn /Ff 32768 /Kids [@7 @8] /V /On >>");
    t.Set(7, "<< /Subtype /Widget /Parent @6 /T (a) /F 6 /AP << /N << /On @5 /Off @5 >> /D @5 >> /AS /On /CA 0.5 >>");
    t.Set(8, "<< /Subtype /Widget /Parent @6 /Rect [0 0 1 1] >>");
    t.Set(9, "<< /T (txt) /FT /Tx /Subtype /Widget /DA (/Helv 0 Tf) /Kids [@9] >>");
    t.Set(10, "<< /Subtype /Foo /C [1 0 0] /IC 3 /BM /Multiply >>");
    t.SetRoot(1);
    PDF::PageTree pages(t.doc);
    const PDF::Page& page = pages.GetPage(0);
    ASSERT_EQ(PDF::Annot::Count(page), 5u);

    PDF::Annot link = PDF::Annot::At(page, 0);
    EXPECT_EQ(link.GetType(), PDF::Annot::e_Link);
    EXPECT_FALSE(link.HasFlags());
    EXPECT_EQ(*link.GetRect(), (PDF::Rect{0, 0, 10, 20}));
    PDF::Action a(link.GetAction());
    EXPECT_EQ(a.GetType(), PDF::Action::e_Named);
    EXPECT_EQ(a.GetNamedAction(), "Print");
    ASSERT_EQ(a.GetNext().size(), 1u);
    EXPECT_EQ(PDF::Action(a.GetNext()[0]).GetType(), PDF::Action::e_JavaScript);

    PDF::Annot w = PDF::Annot::At(page, 1);
    EXPECT_EQ(w.GetType(), PDF::Annot::e_Widget);
    EXPECT_TRUE(w.HasFlag(PDF::Annot::e_print) && w.HasFlag(PDF::Annot::e_hidden));
    EXPECT_FALSE(w.HasFlag(PDF::Annot::e_invisible));
    EXPECT_EQ(w.GetAppearance(), t.Get(5)->Resolve());
    EXPECT_TRUE(w.GetAppearanceEntry()->IsDict());
    EXPECT_EQ(w.GetAppearance(PDF::Annot::e_down), t.Get(5)->Resolve());
    EXPECT_EQ(*w.GetOpacity(), 0.5);
    EXPECT_EQ(w.GetField(), t.Get(7)->Resolve());  // merged: it has T
    EXPECT_EQ(PDF::Annot::At(page, 2).GetField(), t.Get(6)->Resolve());
    EXPECT_FALSE(PDF::Annot::At(page, 3).IsValid());
    PDF::Annot foo = PDF::Annot::At(page, 4);
    EXPECT_EQ(foo.GetType(), PDF::Annot::e_Unknown);
    EXPECT_TRUE(foo.GetColor());
    EXPECT_EQ(foo.GetInteriorColor(), nullptr);
    EXPECT_TRUE(PDF::IsNameOf(foo.GetBlendMode(), "Multiply"));
    EXPECT_EQ(PDF::Annot::TypeFromName("3D"), PDF::Annot::e_3D);

    auto fields = PDF::Field::ReadAll(t.doc);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].GetName(), "grp");  // the group with its pure widget kid 8
    EXPECT_EQ(fields[0].GetWidgets().size(), 1u);
    EXPECT_EQ(fields[1].GetName(), "grp.a");
    EXPECT_TRUE(fields[1].IsRadio());
    EXPECT_TRUE(PDF::IsNameOf(fields[1].GetValue(), "On"));
    EXPECT_EQ(fields[2].GetName(), "txt");
    EXPECT_EQ(fields[2].GetType(), PDF::Field::e_text);
    EXPECT_TRUE(fields[2].GetDefaultAppearance());
}
