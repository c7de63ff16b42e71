#include <gtest/gtest.h>

#include <cmath>

#include "PdfTestDoc.h"
#include "pdf/ElementReader.h"
#include "pdf/PageTree.h"

using namespace qvx;
using PDF::Element;
using PDF::GState;
using qvx::Test::TestDoc;

namespace {

struct Issues : PDF::ContentObserver {
    std::vector<PDF::ContentIssue> list;
    void OnIssue(const PDF::ContentIssue& i) override { list.push_back(i); }
    int Count(PDF::ContentIssue::Kind k) const
    {
        return static_cast<int>(std::count_if(list.begin(), list.end(), [&](const auto& i) { return i.kind == k; }));
    }
};

// A page (object 3) with content stream 4 and resources 5, in a catalog 1 / pages 2.
void PageDoc(TestDoc& t, const std::string& content, const std::string& resources)
{
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    t.Set(2, "<< /Type /Pages /Kids [@3] /Count 1 >>");
    t.Set(3, "<< /Type /Page /Parent @2 /Contents @4 /Resources @5 >>");
    t.SetStream(4, "<< >>", content);
    t.Set(5, resources);
    t.SetRoot(1);
}

std::vector<Element::Kind> Kinds(PDF::ElementReader& r)
{
    std::vector<Element::Kind> out;
    while (const Element* e = r.Next()) out.push_back(e->kind);
    return out;
}

}  // namespace

TEST(ElementReader, StateColourAndChanges)
{
    TestDoc t(40);
    PageDoc(t, 
        "q 2 w 1 0 0 RG 0 0 m 10 10 l S Q "
        "/CS1 cs 0.5 scn /GS1 gs 0 0 10 10 re f "
        "/Sep CS 0.3 SC 0 0 m S 0.2 0.3 0.4 0.5 k 0 0 m f",
        "<< /ColorSpace << /CS1 [/ICCBased @6] /Sep [/Separation /Spot /DeviceCMYK @7] >> "
        "/ExtGState << /GS1 << /CA 0.5 /ca 0.25 /BM /Multiply /SMask /None /OP true /OPM 1 /RI /Saturation /TR /Identity >> >> >>");
    t.SetStream(6, "<< /N 1 >>", "");
    t.Set(7, "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 1] /N 1 >>");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    r.Begin(pages.GetPage(0));

    const Element* e = r.Next();
    ASSERT_TRUE(e && e->kind == Element::e_save);
    EXPECT_EQ(e->depth, 1);
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_TRUE(e->stroke && !e->fill);
    EXPECT_EQ(e->gstate->line_width, 2);
    EXPECT_EQ(e->gstate->stroke.space->GetFamily(), PDF::ColorSpace::e_device_rgb);
    EXPECT_EQ(e->changed, GState::e_line_width | GState::e_stroke_color_space | GState::e_stroke_color);
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_restore);
    EXPECT_EQ(e->depth, 0);
    EXPECT_EQ(e->changed, GState::e_line_width | GState::e_stroke_color_space | GState::e_stroke_color);

    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_TRUE(e->fill);
    const GState& s = *e->gstate;
    EXPECT_EQ(s.fill.space->GetFamily(), PDF::ColorSpace::e_icc);
    EXPECT_EQ(s.fill.space->GetComponentCount(), 1);
    EXPECT_EQ(s.fill.components, std::vector<double>{0.5});
    EXPECT_EQ(s.stroke_alpha, 0.5);
    EXPECT_EQ(s.fill_alpha, 0.25);
    EXPECT_EQ(s.blend_mode, "Multiply");
    EXPECT_EQ(s.soft_mask, nullptr);
    EXPECT_TRUE(s.stroke_overprint && s.fill_overprint);
    EXPECT_EQ(s.overprint_mode, 1);
    EXPECT_EQ(s.rendering_intent, "Saturation");
    EXPECT_TRUE(s.transfer && s.transfer->IsName());
    EXPECT_TRUE(e->changed & GState::e_fill_alpha);
    EXPECT_TRUE(e->changed & GState::e_blend_mode);
    EXPECT_FALSE(e->changed & GState::e_soft_mask);

    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(e->gstate->stroke.space->GetFamily(), PDF::ColorSpace::e_separation);
    EXPECT_EQ(e->gstate->stroke.space->GetColorants(), std::vector<std::string>{"Spot"});
    EXPECT_EQ(e->gstate->stroke.space->GetAlternate()->GetFamily(), PDF::ColorSpace::e_device_cmyk);
    EXPECT_EQ(e->changed, GState::e_stroke_color_space | GState::e_stroke_color);
    e = r.Next();
    EXPECT_EQ(e->gstate->fill.space->GetFamily(), PDF::ColorSpace::e_device_cmyk);
    EXPECT_EQ(e->gstate->fill.components.size(), 4u);
    EXPECT_EQ(r.Next(), nullptr);
    EXPECT_TRUE(issues.list.empty());
    EXPECT_EQ(r.OperatorCount(), 19u);
}

TEST(ElementReader, IssuesAreReportedAndReadingGoesOn)
{
    TestDoc t(40);
    PageDoc(t, "q BX foo EX bar /Missing gs /Nope Do /F9 12 Tf (x) Tj 1 w2 Q Q q q /Im1 Do 5 Tz",
                        "<< /XObject << /Im1 << /Subtype /Image >> >> >>");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    r.Begin(pages.GetPage(0));
    auto kinds = Kinds(r);
    EXPECT_EQ(kinds, (std::vector<Element::Kind>{Element::e_save, Element::e_xobject, Element::e_text,
                                                 Element::e_restore, Element::e_save, Element::e_save,
                                                 Element::e_xobject}));
    ASSERT_EQ(issues.Count(PDF::ContentIssue::e_unknown_operator), 3);
    EXPECT_TRUE(issues.list[0].in_compatibility);
    EXPECT_EQ(issues.list[0].name, "foo");
    EXPECT_FALSE(issues.list[1].in_compatibility);
    EXPECT_EQ(issues.Count(PDF::ContentIssue::e_missing_resource), 3);  // gs, Do, Tf
    EXPECT_EQ(issues.Count(PDF::ContentIssue::e_unbalanced_restore), 1);
    EXPECT_EQ(issues.Count(PDF::ContentIssue::e_bad_resource), 1);  // an image that is no stream
    EXPECT_EQ(issues.list.front().stream, t.Get(4)->Resolve());
}

TEST(ElementReader, FormsAreEnteredOnRequestWithTheirOwnResources)
{
    TestDoc t(40);
    PageDoc(t, "q /Fm1 Do Q /Fm2 Do /Fm1 Do",
                        "<< /XObject << /Fm1 @6 /Fm2 @7 >> /ExtGState << /G << /LW 7 >> >> >>");
    // Fm1 has no Resources: the page's are used. Fm2 draws itself: refused.
    t.SetStream(6, "<< /Subtype /Form /Matrix [2 0 0 2 5 5] /Group << /S /Transparency /CS /DeviceRGB >> >>",
                "q /G gs 0 0 m S q q");
    t.SetStream(7, "<< /Subtype /Form /Resources << /XObject << /Self @7 >> >> >>", "/Self Do");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    r.Begin(pages.GetPage(0));
    ASSERT_EQ(r.Next()->kind, Element::e_save);
    const Element* e = r.Next();
    ASSERT_EQ(e->kind, Element::e_form);
    EXPECT_EQ(e->name, "Fm1");
    ASSERT_TRUE(r.FormBegin());
    EXPECT_EQ(r.NestingDepth(), 2);
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_save);
    EXPECT_EQ(e->depth, 1);  // the form counts its own q
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(e->gstate->line_width, 7);
    ASSERT_EQ(issues.Count(PDF::ContentIssue::e_inherited_resource), 1);  // /G from the page
    EXPECT_EQ(issues.list.back().name, "G");
    EXPECT_EQ(e->gstate->ctm, (PDF::Matrix{2, 0, 0, 2, 5, 5}));
    EXPECT_EQ(e->stream, t.Get(6)->Resolve());
    EXPECT_EQ(Kinds(r).size(), 2u);
    r.End();
    EXPECT_EQ(r.GetGState().line_width, 1);  // the unbalanced q of the form is dropped
    EXPECT_EQ(r.SaveDepth(), 1);
    ASSERT_EQ(r.Next()->kind, Element::e_restore);
    ASSERT_EQ(r.Next()->kind, Element::e_form);
    ASSERT_TRUE(r.FormBegin());
    ASSERT_EQ(r.Next()->kind, Element::e_form);
    EXPECT_FALSE(r.FormBegin());
    EXPECT_EQ(issues.Count(PDF::ContentIssue::e_recursion), 1);
    r.End();
    ASSERT_EQ(r.Next()->kind, Element::e_form);
    EXPECT_EQ(r.Next(), nullptr);
    r.End();
    EXPECT_EQ(r.NestingDepth(), 0);
    EXPECT_EQ(r.Next(), nullptr);
}

TEST(ElementReader, TextStateAndLayout)
{
    TestDoc t(40);
    PageDoc(t, "BT /F1 10 Tf 2 Tc 100 0 0 100 0 0 Tm [(AB) -500 (C)] TJ 14 TL T* (A) ' ET",
                        "<< /Font << /F1 @6 >> >>");
    t.Set(6, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 65 /LastChar 67 /Widths [600 700 800] >>");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    PDF::ElementReader r(cache);
    r.Begin(pages.GetPage(0));
    const Element* e = r.Next();
    ASSERT_EQ(e->kind, Element::e_text);
    ASSERT_EQ(e->strings.size(), 2u);
    EXPECT_EQ(e->strings[1].adjust_before, -500);
    EXPECT_EQ(e->gstate->font_size, 10);
    EXPECT_EQ(e->gstate->font->GetKind(), PDF::Font::e_type1);
    EXPECT_EQ(e->text_matrix.e, 0);
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_text);
    // T* and ' each move one line down (leading 14, scaled by Tm).
    EXPECT_EQ(e->text_matrix.f, -2800);
    EXPECT_EQ(e->text_matrix.e, 0);
    EXPECT_EQ(r.Next(), nullptr);
}

TEST(ElementReader, DeeplyNestedFormsStopAtTheLimit)
{
    TestDoc t(80);
    t.Set(1, "<< /Type /Catalog /Pages @2 >>");
    t.Set(2, "<< /Type /Pages /Kids [@3] /Count 1 >>");
    t.Set(3, "<< /Type /Page /Parent @2 /Contents @10 >>");
    for (int i = 10; i < 70; ++i) {
        t.SetStream(i, "<< /Subtype /Form /Resources << /XObject << /X @" + std::to_string(i + 1) + " >> >> >>", "/X Do");
    }
    t.SetStream(70, "<< /Subtype /Form >>", "0 0 m");
    t.SetRoot(1);
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    r.Begin(pages.GetPage(0));
    int entered = 0;
    while (const Element* e = r.Next()) {
        if (e->kind == Element::e_form && r.FormBegin()) ++entered;
    }
    EXPECT_EQ(entered, 0);  // the page's content uses no resources: X is undefined there
    r.Begin(t.Get(10), nullptr);
    for (;;) {
        const Element* e = r.Next();
        if (!e) break;
        if (e->kind == Element::e_form && !r.FormBegin()) break;
    }
    EXPECT_EQ(r.NestingDepth(), 32);
    EXPECT_EQ(issues.Count(PDF::ContentIssue::e_nesting_limit), 1);
}

TEST(ElementReader, FormsDrawnOverAndOverAreReadAgainOnlyUpToAShare)
{
    // Each form draws the next one ten times, eight deep: 10^8 forms drawn. A form drawn
    // again is read again (its state may differ), until the page has re-read its share.
    TestDoc t(40);
    PageDoc(t, "/X Do /Y Do /Y Do", "<< /XObject << /X @10 /Y @30 >> >>");
    std::string ten;
    for (int k = 0; k < 10; ++k) ten += "/X Do ";
    for (int i = 10; i < 18; ++i)
        t.SetStream(i, "<< /Subtype /Form /BBox [0 0 9 9] /Resources << /XObject << /X @" + std::to_string(i + 1) + " >> >> >>", ten);
    t.SetStream(18, "<< /Subtype /Form /BBox [0 0 9 9] >>", "0 0 m 1 1 l S");
    t.SetStream(30, "<< /Subtype /Form /BBox [0 0 9 9] >>", "0 0 1 1 re f");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    auto walk = [&](int& fills) {
        std::uint64_t entered = 0;
        while (r.NestingDepth() > 0) {
            const Element* e = r.Next();
            if (!e) {
                r.End();
            } else if (e->kind == Element::e_form) {
                entered += r.FormBegin();
            } else if (e->kind == Element::e_path) {
                fills += e->fill;
            }
        }
        return entered;
    };
    int filled = 0;
    r.Begin(pages.GetPage(0));
    const std::uint64_t entered = walk(filled);
    EXPECT_GT(entered, 100000u);
    EXPECT_LT(entered, 2000000u);
    EXPECT_GT(issues.Count(PDF::ContentIssue::e_reread_limit), 0);
    // Y, first drawn after the share ran out, is still read once; the page began anew
    // reads its forms again.
    EXPECT_EQ(filled, 1);
    filled = 0;
    r.Begin(pages.GetPage(0));
    EXPECT_EQ(walk(filled), entered);
    EXPECT_EQ(filled, 1);

    // An ordinary page reads a form as often as it is drawn.
    TestDoc small(20);
    PageDoc(small, "/Y Do /Y Do /Y Do", "<< /XObject << /Y @6 >> >>");
    small.SetStream(6, "<< /Subtype /Form /BBox [0 0 9 9] >>", "0 0 1 1 re f");
    PDF::PageTree small_pages(small.doc);
    r.Begin(small_pages.GetPage(0));
    filled = 0;
    EXPECT_EQ(walk(filled), 3u);
    EXPECT_EQ(filled, 3);
}

TEST(ElementReader, PatternsGlyphsAndAppearancesAreEntered)
{
    TestDoc t(40);
    PageDoc(t, "/Pattern cs /P1 scn 0 0 10 10 re f BT /T3 10 Tf (ab) Tj ET",
            "<< /Pattern << /P1 @6 >> /Font << /T3 @7 >> >>");
    t.SetStream(6, "<< /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 5 5] /XStep 5 /YStep 5 "
                   "/Matrix [1 0 0 1 3 4] /Resources << /ExtGState << /G << /LW 9 >> >> >> >>",
                "/G gs 0 0 m S");
    t.Set(7, "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FontBBox [0 0 1000 1000] "
             "/FirstChar 97 /LastChar 98 /Widths [500 600] /Encoding << /Differences [97 /a] >> /CharProcs << /a @8 >> >>");
    t.SetStream(8, "<< >>", "500 0 d0 0 0 m 100 100 l S");
    t.SetStream(9, "<< /Subtype /Form /BBox [0 0 10 10] /Matrix [1 0 0 1 7 7] /Resources << /Font << /T3 @7 >> >> >>",
                "q 0.5 g 0 0 5 5 re f Q");
    PDF::PageTree pages(t.doc);
    PDF::ResourceCache cache;
    Issues issues;
    PDF::ElementReader r(cache, &issues);
    r.Begin(pages.GetPage(0));
    const Element* e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(e->gstate->fill.pattern, t.Get(6)->Resolve());
    EXPECT_EQ(e->gstate->fill.space->GetFamily(), PDF::ColorSpace::e_pattern);
    ASSERT_TRUE(r.PatternBegin(true));
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(e->gstate->line_width, 9);  // the pattern's own resources
    EXPECT_EQ(e->gstate->ctm, (PDF::Matrix{1, 0, 0, 1, 3, 4}));
    r.End();
    EXPECT_EQ(r.GetGState().line_width, 1);
    EXPECT_FALSE(r.PatternBegin(false));  // the stroke colour is no pattern

    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_text);
    EXPECT_EQ(e->gstate->font->GetKind(), PDF::Font::e_type3);
    EXPECT_DOUBLE_EQ(e->gstate->font->GetWidth({'b', 1, 'b'}), 600);
    EXPECT_FALSE(r.Type3GlyphBegin('b'));  // no procedure for b
    ASSERT_TRUE(r.Type3GlyphBegin('a'));
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(r.GlyphWidth(), 500);
    // Glyph space: FontMatrix x font size.
    EXPECT_DOUBLE_EQ(e->gstate->ctm.a, 0.01);
    r.End();
    EXPECT_EQ(r.Next(), nullptr);
    r.End();

    // An appearance stream walked on its own, in its own space.
    ASSERT_TRUE(r.AppearanceBegin(t.Get(9)));
    EXPECT_EQ(r.Next()->kind, Element::e_save);
    e = r.Next();
    ASSERT_EQ(e->kind, Element::e_path);
    EXPECT_EQ(e->gstate->ctm, (PDF::Matrix{1, 0, 0, 1, 7, 7}));
    EXPECT_EQ(e->stream, t.Get(9)->Resolve());
    EXPECT_EQ(r.Next()->kind, Element::e_restore);
    EXPECT_EQ(r.Next(), nullptr);
    r.End();
    EXPECT_TRUE(issues.list.empty());
}
