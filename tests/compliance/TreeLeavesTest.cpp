// PDF/A-1 conversion of name and number tree leaves longer than the array limit.
#include <gtest/gtest.h>

#include <cstdio>

#include "pdf/ObjUtil.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"

using namespace qvx::Test;
using qvx::SDF::Obj;

namespace {

// The keys of a tree's leaves in the order a reader walks them, and whether every leaf under
// a node lies within the Limits the leaf gives.
struct Walked {
    std::vector<std::string> keys;
    bool limits_hold = true;
    std::size_t longest = 0;
};

std::string KeyText(Obj* k)
{
    return k->IsString() ? k->GetAsPDFText().ToUTF8() : std::to_string(static_cast<long>(k->GetNumber()));
}

void Walk(Obj* node, const char* key, Walked& w)
{
    node = qvx::PDF::Deref(node);
    if (Obj* kids = qvx::PDF::FindArray(node, "Kids")) {
        for (std::size_t i = 0; i < kids->Size(); ++i) Walk(kids->GetAt(i), key, w);
        return;
    }
    Obj* entries = qvx::PDF::FindArray(node, key);
    ASSERT_NE(entries, nullptr);
    w.longest = std::max(w.longest, entries->Size());
    Obj* limits = qvx::PDF::FindArray(node, "Limits");
    for (std::size_t i = 0; i + 1 < entries->Size(); i += 2) {
        w.keys.push_back(KeyText(qvx::PDF::Deref(entries->GetAt(i))));
        if (limits && limits->Size() == 2 && i == 0) w.limits_hold &= KeyText(qvx::PDF::Deref(limits->GetAt(0))) == w.keys.back();
    }
    if (limits && limits->Size() == 2) w.limits_hold &= KeyText(qvx::PDF::Deref(limits->GetAt(1))) == w.keys.back();
}

}  // namespace

TEST(TreeLeaves, LongLeavesBecomeNodesOfShortOnesAtPDFA1)
{
    // 5,000 named destinations in one leaf held directly in the catalog's Names, and page
    // labels for 4,500 pages in one Nums array of their own object: both arrays are longer
    // than PDF/A-1 takes.
    std::string names, nums;
    char buf[64];
    for (int i = 0; i < 5000; ++i) {
        std::snprintf(buf, sizeof buf, "(d%05d)[3 0 R/Fit] ", i);
        names += buf;
    }
    for (int i = 0; i < 4500; ++i) nums += std::to_string(i) + "<</S/D/St " + std::to_string(i + 1) + ">> ";
    for (int level : {k1B, k2B}) {
        SCOPED_TRACE(level);
        PdfBuilder b = CleanFile(level);
        b.Set(1, CatalogFor(level, "/Names<</Dests<</Names[" + names + "]>>>>/PageLabels 6 0 R"));
        b.Set(6, "<</Nums[" + nums + "]>>");
        std::string pdf = b.Build();
        EXPECT_EQ(Findings(pdf, level), level == k1B ? "1121(1 6)" : "");
        EXPECT_EQ(FindingsAfterConversion(pdf, level), "");
        qvx::PDF::PDFACompliance run(true, ToBytes(pdf), nullptr, level, nullptr, 0, 0, false);
        Obj* root = run.GetDoc().GetRoot();
        Walked dests, labels;
        Walk(qvx::PDF::FindDict(qvx::PDF::FindDict(root, "Names"), "Dests"), "Names", dests);
        Walk(root->FindObj("PageLabels"), "Nums", labels);
        ASSERT_EQ(dests.keys.size(), 5000u);
        ASSERT_EQ(labels.keys.size(), 4500u);
        EXPECT_EQ(dests.keys[4321], "d04321");
        EXPECT_EQ(labels.keys[4499], "4499");
        EXPECT_TRUE(dests.limits_hold && labels.limits_hold);
        EXPECT_EQ(dests.longest <= 8191, level == k1B);
        EXPECT_EQ(labels.longest <= 8191, level == k1B);
        // The page labels keep their object.
        EXPECT_EQ(root->FindObj("PageLabels")->GetObjNum(), 6u);
    }
}
