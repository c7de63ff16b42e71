#include <gtest/gtest.h>

#include "sdf/SDFDocImpl.h"
#include "tests/sdf/SaveTestUtil.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx;
using namespace qvx::SDF;
using namespace qvx::Test;

TEST(Save, Experiment)
{
    for (int pages : {1, 2, 5}) {
    SDFDoc doc;
    BuildDoc(doc, pages);
    auto lin = doc.SaveToBuffer(SDFDoc::e_linearize);
    TempDir d; auto p = WriteTemp(d, "c.pdf", lin);
    std::cout << qvx::Test::Run({"/usr/bin/qpdf", "--check-linearization", p.string()}).output;
    if (pages == 2) { std::cout << AsString(lin) << "\n"; std::cout << qvx::Test::Run({"/usr/bin/qpdf", "--show-linearization", p.string()}).output;}
    }
}
