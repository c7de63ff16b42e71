// A whole file from memory: open (cross-reference data or rebuild) with the PDF/A hooks of a
// level taken from the size, then load every object, decode every stream, write every
// object and walk the page tree. The seeds are small test files of the qpdf project (Apache
// License 2.0), several of them damaged.
#include <algorithm>
#include <vector>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

using namespace qvx;
using SDF::Obj;

namespace {

void Drain(Filters::Filter& f)
{
    Filters::FilterReader r(f);
    Common::Byte buf[4096];
    while (r.Read(buf, sizeof buf) > 0) {
    }
}

// Counts pages with an ancestor check against loops and a cap on visits.
void WalkPages(Obj* node, std::vector<const Obj*>& path, int& visits)
{
    if (++visits > 10000 || path.size() > 100 || !node || !node->IsDict()) return;
    const Obj* direct = node->Resolve();
    if (std::find(path.begin(), path.end(), direct) != path.end()) return;
    Obj* kids = node->FindObj("Kids");
    if (!kids || !kids->IsArray()) return;
    path.push_back(direct);
    for (std::size_t i = 0; i < kids->Size(); ++i) {
        try {
            WalkPages(kids->GetAt(i), path, visits);
        } catch (const Common::Exception&) {
        }
    }
    path.pop_back();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SDF::SDFDoc doc;
    doc.GetCheckState().parser_level = static_cast<std::int32_t>(size % 13);
    try {
        doc.Open(Filters::MemoryFilter::View(Common::ByteView(data, size)));
    } catch (const Common::Exception&) {
        return 0;
    }
    // Empty slots are skipped without a lookup: a small file may declare millions of them.
    for (std::size_t n = 0; n < doc.XRefSize(); ++n) {
        try {
            SDF::Indirect* o = doc.GetImpl().GetEntry(static_cast<std::uint32_t>(n));
            if (!o || o->IsFree()) continue;
            if (o->IsStream()) {
                auto dec = o->GetDecodedStream();
                Drain(*dec);
            }
            Filters::MemoryFilter sink;
            Filters::FilterWriter w(sink);
            o->Resolve()->Write(w);
        } catch (const Common::Exception&) {
        }
    }
    try {
        std::vector<const Obj*> path;
        int visits = 0;
        WalkPages(doc.GetRoot()->FindObj("Pages"), path, visits);
    } catch (const Common::Exception&) {
    }
    return 0;
}
