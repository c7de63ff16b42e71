#include "pdf/compliance/PageList.h"

#include <unordered_set>

namespace qvx::PDF {

namespace {

struct Pages {
    bool walked = false;
    std::vector<RunPage> list;
};

std::vector<RunPage> WalkPageTree(SDF::SDFDoc& doc)
{
    std::vector<RunPage> pages;
    SDF::Obj* root = doc.GetRoot();
    SDF::Obj* top = root->IsDict() ? root->FindObj("Pages") : nullptr;
    if (!top || !top->IsDict()) return pages;
    // Depth first with an explicit stack; each node is taken once, so the walk ends.
    std::vector<RunPage> stack{{top, nullptr, nullptr}};
    std::unordered_set<const SDF::Obj*> seen;
    while (!stack.empty()) {
        RunPage node = stack.back();
        stack.pop_back();
        if (!seen.insert(node.dict->Resolve()).second) continue;
        if (SDF::Obj* box = node.dict->FindObj("MediaBox")) node.media_box = box;
        if (SDF::Obj* box = node.dict->FindObj("CropBox")) node.crop_box = box;
        SDF::Obj* kids = node.dict->FindObj("Kids");
        if (!kids || !kids->IsArray()) {
            pages.push_back(node);
            continue;
        }
        for (std::size_t i = kids->Size(); i-- > 0;) {
            SDF::Obj* kid = kids->GetAt(i);
            if (kid->IsDict()) stack.push_back({kid, node.media_box, node.crop_box});
        }
    }
    return pages;
}

}  // namespace

const std::vector<RunPage>& RunPages(PassContext& ctx)
{
    Pages& pages = ctx.caches.Get<Pages>();
    if (!pages.walked) {
        pages.list = WalkPageTree(ctx.doc);
        pages.walked = true;
    }
    return pages.list;
}

}  // namespace qvx::PDF
