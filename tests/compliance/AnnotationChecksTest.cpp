// Annotations of a page: subtypes per level, flags, CA, colours against the output intent,
// appearance dictionaries, and the repairs of conversion.
#include <gtest/gtest.h>

#include <memory>

#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ColourRepair.h"

#include "tests/compliance/AnnotationCheckSupport.h"
#include "tests/compliance/ColourTestSupport.h"

using namespace qvx::Test;

namespace {

std::string Annot(const std::string& subtype, const std::string& extra = "/F 4" + kAP)
{
    return "<</Type/Annot/Subtype/" + subtype + "/Rect[10 10 50 50]" + extra + ">>";
}

}  // namespace

TEST(AnnotationChecks, SubtypesPermittedPerLevel)
{
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square")}), k2B), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Movie")}), k2B), "524(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Sound")}), k2B), "523(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Screen")}), k2B), "5211(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Frobnicate")}), k2B), "521(6)");
    // FileAttachment: not at PDF/A-1, allowed at PDF/A-2 and 4F, not at 4 and 4E.
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("FileAttachment")}), k1B), "522(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("FileAttachment")}), k2B), "");
    EXPECT_EQ(Findings(WithAnnots(k4, {Annot("FileAttachment")}), k4), "522(6)");
    EXPECT_EQ(Findings(WithAnnots(k4F, {Annot("FileAttachment")}), k4F), "");
    // PDF/A-1 forbids more types than later parts.
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Caret"), Annot("Polygon"), Annot("Watermark")}), k1B),
              "527(6) 528(8) 529(7)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Caret"), Annot("Polygon"), Annot("Watermark")}), k2B), "");
    // RichMedia: unknown before PDF/A-4, allowed only at 4E.
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("RichMedia")}), k2B), "521(6)");
    EXPECT_EQ(Findings(WithAnnots(k4, {Annot("RichMedia")}), k4), "46316(6)");
    EXPECT_EQ(Findings(WithAnnots(k4E, {Annot("RichMedia")}), k4E), "");
    // An element of Annots that is no dictionary is recorded against the array's holder.
    PdfBuilder b = WithAnnots(k2B, {});
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R/Annots[5]>>");
    EXPECT_EQ(Findings(b, k2B), "521(3)");
}

TEST(AnnotationChecks, ThreeDimensionalData)
{
    auto with_3d = [](int level, const std::string& stream_dict, const std::string& data) {
        PdfBuilder b = WithAnnots(level, {Annot("3D", "/F 4" + kAP + "/3DD 7 0 R")});
        b.SetStream(7, stream_dict, data);
        return b;
    };
    EXPECT_EQ(Findings(with_3d(k2B, "/Type/3D/Subtype/U3D", "U3D"), k2B), "526(6)");
    EXPECT_EQ(Findings(with_3d(k4F, "/Type/3D/Subtype/U3D", "U3D"), k4F), "526(6)");
    EXPECT_EQ(Findings(with_3d(k4E, "/Type/3D/Subtype/PRC", "PRC"), k4E), "");
    EXPECT_EQ(Findings(with_3d(k4E, "/Type/3D", std::string("U3D\0rest", 8)), k4E), "461613(7)");
    // A 3D reference dictionary leads to the stream through its own 3DD.
    PdfBuilder ref = WithAnnots(k4E, {Annot("3D", "/F 4" + kAP + "/3DD<</Type/3DRef/3DD 7 0 R>>")});
    ref.SetStream(7, "/Type/3D/Subtype/Foo", "x");
    EXPECT_EQ(Findings(ref, k4E), "461613(7)");
    EXPECT_EQ(Findings(WithAnnots(k4E, {Annot("3D", "/F 4" + kAP)}), k4E), "11(6)");
    // Conversion names the format from the data's first bytes.
    EXPECT_EQ(FindingsAfterConversion(with_3d(k4E, "/Type/3D", std::string("U3D\0rest", 8)), k4E), "");
}

TEST(AnnotationChecks, ThreeDimensionalDataColourSpace)
{
    // The artwork's own device colour space needs an output intent of its kind.
    auto with_space = [](const std::string& space, int intent) {
        PdfBuilder b = WithAnnots(k4E, {Annot("3D", "/F 4" + kAP + "/3DD 7 0 R")});
        b.SetStream(7, "/Type/3D/Subtype/U3D/ColorSpace/" + space, std::string("U3D\0rest", 8));
        if (intent) {
            b.Set(1, CatalogFor(k4E, "/OutputIntents[<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier(x)/DestOutputProfile 8 0 R>>]"));
            b.SetStream(8, "/N " + std::to_string(intent), qvx::Test::Profile(intent == 4 ? "CMYK" : "RGB "));
        }
        return b;
    };
    EXPECT_EQ(Findings(with_space("DeviceRGB", 0), k4E), "2331(7)");
    EXPECT_EQ(Findings(with_space("DeviceRGB", 4), k4E), "2332(7)");
    EXPECT_EQ(Findings(with_space("DeviceRGB", 3), k4E), "");
    EXPECT_EQ(Findings(with_space("DeviceCMYK", 3), k4E), "2332(7)");
    EXPECT_EQ(Findings(with_space("DeviceGray", 0), k4E), "2331(7)");
    EXPECT_EQ(Findings(with_space("DeviceGray", 4), k4E), "");
}

TEST(AnnotationChecks, FlagsAndOpacity)
{
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Link", "")}), k2B), "5321(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Popup", "")}), k2B), "");
    // Conversion to PDF/A-1 still gives a popup Print, as readers of that part ask F of all.
    for (auto [level, f] : {std::pair{k1B, 4.0}, std::pair{k2B, -1.0}}) {
        qvx::PDF::PDFACompliance run(true, ToBytes(WithAnnots(level, {Annot("Popup", "")}).Build()), nullptr, level,
                                     nullptr, 0, 0, false);
        qvx::SDF::Obj* flags = run.GetDoc().GetObj(6)->FindObj("F");
        EXPECT_EQ(flags ? flags->GetNumber() : -1.0, f) << level;
    }
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 0" + kAP)}), k2B), "5322(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 6" + kAP)}), k2B), "5323(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 5" + kAP)}), k2B), "5324(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 36" + kAP)}), k2B), "5325(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 260" + kAP)}), k2B), "5325(6)");
    // CA other than 1 only matters at PDF/A-1.
    PdfBuilder ca = WithAnnots(k1B, {Annot("Square", "/F 4/CA 0.5" + kAP)});
    EXPECT_EQ(Findings(ca, k1B), "531(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/CA 0.5" + kAP)}), k2B), "");
    // Conversion sets Print, clears the hiding flags, adds F and drops CA.
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {Annot("Square", "/F 295" + kAP), Annot("Link", "")}), k2B),
              "");
    EXPECT_EQ(FindingsAfterConversion(ca, k1B), "");
}

TEST(AnnotationChecks, BlendModes)
{
    // A standard mode is no finding of its own; it is transparency on a page that has
    // neither a group nor the document an output intent.
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/BM/Multiply" + kAP)}), k2B), "21020(3)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/BM/Dodgy" + kAP)}), k2B), "21021(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/BM[/Screen/Dodgy]" + kAP)}), k2B), "21021(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/BM 3" + kAP)}), k2B), "21021(6)");
    // PDF/A-1 has no such rule here; conversion drops the entry.
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Square", "/F 4/BM/Dodgy" + kAP)}), k1B), "");
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k4, {Annot("Square", "/F 4/BM/Dodgy" + kAP)}), k4), "");
}

TEST(AnnotationChecks, ColoursNeedAnRGBOutputIntent)
{
    auto with_intent = [](int n) {
        PdfBuilder b = WithAnnots(k2B, {Annot("Square", "/F 4/C[1 0 0]/IC[0 0 1]" + kAP)});
        b.Set(1, CatalogFor(k2B, "/OutputIntents[<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier(x)/DestOutputProfile 8 0 R>>]"));
        b.SetStream(8, "/N " + std::to_string(n), qvx::Test::Profile(n == 4 ? "CMYK" : "RGB "));
        return b;
    };
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/C[1 0 0]" + kAP)}), k2B), "5331(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/IC[1 0 0]" + kAP)}), k2B), "5333(6)");
    EXPECT_EQ(Findings(with_intent(4), k2B), "5332(6) 5334(6)");
    EXPECT_EQ(Findings(with_intent(3), k2B), "");
    // Conversion keeps the file's CMYK intent: a square without appearance gets one drawn
    // with its colours, and the entries go.
    PdfBuilder cmyk = with_intent(4);
    // The engine's CMYK profile, of the output class an output intent's must be.
    std::string profile(qvx::PDF::CMYKProfileBytes().begin(), qvx::PDF::CMYKProfileBytes().end());
    profile.replace(12, 4, "prtr");
    cmyk.SetStream(8, "/N 4", profile);
    cmyk.Set(6, Annot("Square", "/F 4/C[1 0 0]/IC[0 0 1]"));
    EXPECT_EQ(FindingsAfterConversion(cmyk.Build(), k2B), "");
    qvx::PDF::PDFACompliance run(true, qvx::Test::ToBytes(cmyk.Build()), nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* square = run.GetDoc().GetObj(6)->Resolve();
    EXPECT_EQ(Findings(run), "334 2332(21) 5332(6) 5334(6)");
    EXPECT_FALSE(square->FindObj("C") || square->FindObj("IC"));
    auto drawn = qvx::PDF::ReadDecoded(qvx::PDF::FindStream(qvx::PDF::FindDict(square, "AP"), "N"), 1 << 16);
    ASSERT_TRUE(drawn);
    std::string ops(drawn->begin(), drawn->end());
    EXPECT_NE(ops.find("1 0 0 RG"), std::string::npos) << ops;
    EXPECT_NE(ops.find("0 0 1 rg"), std::string::npos) << ops;
}

TEST(AnnotationChecks, Appearances)
{
    // Missing: a widget at PDF/A-1; everything but links, popups and points later.
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Widget", "/F 4")}), k1B), "95");
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Square", "/F 4")}), k1B), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4")}), k2B), "334");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Link", "/F 4")}), k2B), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {"<</Subtype/Text/Rect[5 5 5 5]/F 4>>"}), k2B), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {"<</Subtype/Square/Rect[5 5 5 50]/F 4>>"}), k2B), "334");
    // Present: only N, a stream, or for a button widget a dictionary of states.
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP<</N 20 0 R/D 20 0 R>>")}), k2B), "5341(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP<<>>")}), k2B), "5342(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP<</N<</On 20 0 R>>>>")}), k2B), "5343(6)");
    std::string states = "/F 4/AP<</N<</On 20 0 R/Off 20 0 R>>>>/AS/Off";
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Widget", "/FT/Btn/T(b)" + states)}), k2B), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Widget", "/FT/Tx/T(t)" + states)}), k2B), "5343(6)");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Widget", "/FT/Btn/T(b)/F 4" + kAP)}), k2B), "5343(6)");
    // Conversion gives annotations without a usable appearance an empty one.
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {Annot("Square", "/F 4"), Annot("Circle", "/F 4/AP<<>>")}), k2B),
              "");
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k1B, {Annot("Widget", "/FT/Btn/T(b)/F 4")}), k1B), "");
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {Annot("Widget", "/FT/Btn/T(b)/F 4" + kAP)}), k2B), "");
    // Conversion names the state shown when a button's states have no AS: Off, else the first.
    for (auto [n, as] : {std::pair{"<</On 20 0 R/Off 20 0 R>>", "Off"}, std::pair{"<</Yes 20 0 R>>", "Yes"}}) {
        std::string widget = Annot("Widget", "/FT/Btn/T(b)/F 4/AP<</N" + std::string(n) + ">>");
        qvx::PDF::PDFACompliance run(true, ToBytes(WithAnnots(k1B, {widget}).Build()), nullptr, k1B, nullptr, 0, 0,
                                     false);
        qvx::SDF::Obj* state = run.GetDoc().GetObj(6)->FindObj("AS");
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->GetName(), as);
    }
    // Conversion keeps N alone.
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {Annot("Square", "/F 4/AP<</N 20 0 R/R 20 0 R>>")}), k2B),
              "");
    // A button whose appearance is one stream keeps that stream, as its one state.
    qvx::PDF::PDFACompliance run(true, ToBytes(WithAnnots(k2B, {Annot("Widget", "/FT/Btn/T(b)/F 4" + kAP)}).Build()),
                                 nullptr, k2B, nullptr, 0, 0, false);
    qvx::SDF::Obj* widget = run.GetDoc().GetObj(6);
    qvx::SDF::Obj* n = widget->FindObj("AP")->FindObj("N");
    ASSERT_TRUE(n->IsDict());
    ASSERT_EQ(n->Size(), 1u);
    EXPECT_EQ(n->FindObj("Off")->GetObjNum(), 20u);
    EXPECT_EQ(widget->FindObj("AS")->GetName(), "Off");
}

TEST(AnnotationChecks, NullAndForeignValueForms)
{
    // A null entry is no entry: a null AP is a missing appearance, a null N a missing N, a
    // null C or IC no colour, and a null entry beside N no second entry.
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP null")}), k2B), "334");
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Widget", "/FT/Tx/T(t)/F 4/AP null")}), k1B), "95");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP<</N null>>")}), k2B), "5342(6)");
    EXPECT_EQ(Findings(WithAnnots(k4, {Annot("Square", "/F 4/AP<</N 20 0 R/D null>>")}), k4), "");
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/C null/IC null" + kAP)}), k2B), "");
    // An AP that is no dictionary has no N.
    EXPECT_EQ(Findings(WithAnnots(k2B, {Annot("Square", "/F 4/AP 20 0 R")}), k2B), "5342(6)");
    EXPECT_EQ(Findings(WithAnnots(k1B, {Annot("Widget", "/FT/Tx/T(t)/F 4/AP[]")}), k1B), "5342(6)");
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k2B, {Annot("Square", "/F 4/AP 20 0 R"),
                                                       Annot("Circle", "/F 4/AP<</N null>>")}),
                                      k2B),
              "");
}

TEST(AnnotationChecks, ConversionWritesWhatViewersDoAnyway)
{
    auto converted = [](int level, const std::string& annot) {
        auto run = std::make_unique<qvx::PDF::PDFACompliance>(true, ToBytes(WithAnnots(level, {annot}).Build()),
                                                              nullptr, level, nullptr, 0, 0, false);
        return run;
    };
    auto flags = [&](int level, const std::string& annot) {
        auto run = converted(level, annot);
        qvx::SDF::Obj* f = run->GetDoc().GetObj(6)->FindObj("F");
        return f ? static_cast<int>(f->GetNumber()) : -1;
    };
    // At PDF/A-1 a note says that its icon keeps its size and stands upright (Print, NoZoom,
    // NoRotate), with F given or not, a hidden one shown; other annotations and later parts
    // keep their flags.
    EXPECT_EQ(flags(k1B, Annot("Text")), 28);
    EXPECT_EQ(flags(k1B, Annot("Text", kAP)), 28);
    EXPECT_EQ(flags(k1B, Annot("Text", "/F 6" + kAP)), 28);
    EXPECT_EQ(flags(k1B, Annot("Square")), 4);
    EXPECT_EQ(flags(k2B, Annot("Text")), 4);
    // A button whose states are names, not streams, is drawn anew: every state a stream.
    std::string widget = Annot("Widget", "/FT/Btn/T(b)/F 4/AP<</N<</Yes/null/Off/null>>>>/AS/Off");
    EXPECT_EQ(Findings(WithAnnots(k1B, {widget}), k1B), "");
    auto run = converted(k1B, widget);
    qvx::SDF::Obj* n = run->GetDoc().GetObj(6)->FindObj("AP")->FindObj("N");
    ASSERT_TRUE(n && n->IsDict());
    ASSERT_GT(n->Size(), 0u);
    for (auto it = n->DictBegin(); it != n->DictEnd(); ++it)
        EXPECT_TRUE(qvx::PDF::Deref(it.Value())->IsStream()) << it.KeyText();
    EXPECT_EQ(FindingsAfterConversion(WithAnnots(k1B, {widget}), k1B), "");
    // A popup without Rect takes its parent's, or an empty one without a parent.
    auto popup_rect = [&](const std::string& parent) {
        PdfBuilder b = WithAnnots(k1B, {"<</Type/Annot/Subtype/Popup/F 4" + parent + ">>",
                                        "<</Type/Annot/Subtype/Text/F 28/Rect[30 40 50 60]/Popup 6 0 R" + kAP + ">>"});
        qvx::PDF::PDFACompliance run(true, ToBytes(b.Build()), nullptr, k1B, nullptr, 0, 0, false);
        qvx::PDF::Rect r{-1, -1, -1, -1};
        qvx::PDF::ReadRect(run.GetDoc().GetObj(6)->FindObj("Rect"), r);
        return std::to_string(r.x1) + " " + std::to_string(r.y1) + " " + std::to_string(r.x2) + " " +
               std::to_string(r.y2);
    };
    EXPECT_EQ(popup_rect("/Parent 7 0 R"), "30.000000 40.000000 50.000000 60.000000");
    EXPECT_EQ(popup_rect(""), "0.000000 0.000000 0.000000 0.000000");
}
