#include "pdf/compliance/PageTreeRepair.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Exception.h"
#include "pdf/ObjUtil.h"
#include "pdf/PageTree.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

void PutRect(Obj* dict, std::string_view key, const Rect& r)
{
    Obj* a = dict->PutArray(key);
    for (double v : {r.x1, r.y1, r.x2, r.y2}) a->PushBackNumber(v);
}

// What a page inherits, read for every page (and the boxes of the blank ones) before any
// changes: a page listed twice shares its entries with its other place, whose box may be
// replaced first.
struct Inherits {
    Rect media, crop;
    int rotation;
    Obj* resources;
};

// The old ancestors go, so what the page inherited from them becomes its own. Inherited
// resources are read resolved; one indirect copy of each is shared by its pages.
void OwnInherited(PassContext& ctx, Obj* dict, const Inherits& from, std::unordered_map<const Obj*, Obj*>& shared)
{
    if (Obj* res = from.resources; res && !dict->FindObj("Resources")) {
        Obj*& copy = shared[res];
        if (!copy) copy = ctx.doc.AddObj(res->Clone());
        dict->Put("Resources", copy);
    }
    if (Rect r; !ReadRect(Deref(dict->FindObj("MediaBox")), r)) PutRect(dict, "MediaBox", from.media);
    if (!dict->FindObj("CropBox") && from.crop != from.media) PutRect(dict, "CropBox", from.crop);
    if (!dict->FindObj("Rotate") && from.rotation != 0) dict->PutNumber("Rotate", from.rotation);
}

// A new, empty Pages node. It becomes the catalog's Pages only once filled: the old tree may
// hold direct objects that the pages still use until then.
Obj* NewPagesNode(PassContext& ctx)
{
    Obj* node = ctx.doc.CreateIndirectDict();
    node->PutName("Type", "Pages");
    node->PutArray("Kids");
    node->PutNumber("Count", 0);
    return node;
}

void Adopt(Obj* node, Obj* page)
{
    // A box no reader can read is shown as US Letter; say so.
    Rect r;
    Obj* own = page->FindObj("MediaBox");
    if (own ? !ReadRect(Deref(own), r) : !ReadRect(FindIn(node, "MediaBox"), r))
        PutRect(page, "MediaBox", {0, 0, 612, 792});
    page->PutName("Type", "Page");
    page->Put("Parent", node);
    Obj* kids = node->FindObj("Kids");
    kids->PushBack(page);
    node->PutNumber("Count", static_cast<double>(kids->Size()));
}

// The page shown where a kid could not be read: empty, of the size its ancestors give.
Obj* BlankPage(PassContext& ctx, Obj* media_box)
{
    Obj* page = ctx.doc.CreateIndirectDict();
    if (Rect r; ReadRect(Deref(media_box), r)) PutRect(page, "MediaBox", r);
    page->PutDict("Resources");
    return page;
}

// A page object listed twice: readers disagree on whether both places show it.
bool ListsAPageTwice(const PageTree& tree)
{
    std::unordered_set<const Obj*> seen;
    for (const Page& page : tree.Pages())
        if (!seen.insert(page.GetSDFObj()->Resolve()).second) return true;
    return false;
}

// Every object of the table whose Type is Page, appended to found unless already there.
// The table is bounded by the reader; each entry is loaded once.
void FindPageObjects(PassContext& ctx, std::vector<Obj*>& found)
{
    for (std::uint32_t i = 1; i < ctx.doc.XRefSize() && !ctx.Stopped(); ++i) {
        Obj* obj = ctx.doc.GetObj(i);
        Obj* dict = Deref(obj);
        if (!dict || !dict->IsDict() || dict->IsStream() || FindName(dict, "Type") != "Page") continue;
        if (std::none_of(found.begin(), found.end(), [&](Obj* f) { return Deref(f) == dict; })) found.push_back(obj);
    }
}

// The pages of a tree that yields none: the single kid of its root (a Kids entry that is one
// page rather than an array of them), then every page object of the table.
std::vector<Obj*> LostPages(PassContext& ctx, Obj* pages)
{
    std::vector<Obj*> found;
    if (pages) {
        Obj* kid = pages->FindObj("Kids");
        Obj* dict = Deref(kid);
        if (dict && dict->IsDict() && !dict->IsStream() && !FindArray(dict, "Kids")) found.push_back(kid);
    }
    FindPageObjects(ctx, found);
    return found;
}

}  // namespace

void GiveCatalog(PassContext& ctx)
{
    Obj* trailer = ctx.doc.GetTrailer();
    if (!trailer->IsDict()) return;
    Obj* root = FindDict(trailer, "Root");
    // Readers find the catalog by reference; one held in the trailer itself is moved into an
    // object of its own.
    if (root && !trailer->FindObj("Root")->IsIndirect()) {
        root = ctx.doc.AddObj(root->Clone());
        trailer->Put("Root", root);
    }
    if (root) {
        // A tree that is there, even an empty one, is the document's own; the passes keep it
        // and read it afresh, after their own repairs.
        const bool tree = ctx.Pages().Count() != 0 || FindArray(FindDict(root, "Pages"), "Kids");
        ctx.caches.Drop<PageTree>();
        if (tree) return;
    }
    // A copy without a page would lose the document rather than keep it.
    if (LostPages(ctx, FindDict(root, "Pages")).empty())
        QVX_THROW("a page object", root ? "The page tree cannot be read and no page was found"
                                        : "The document catalog cannot be read and no page was found");
    if (root) return;
    root = ctx.doc.CreateIndirectDict();
    root->PutName("Type", "Catalog");
    trailer->Put("Root", root);
    ctx.caches.Drop<PageTree>();
}

void RecoverLostPages(PassContext& ctx)
{
    Obj* root = FindDict(ctx.doc.GetTrailer(), "Root");
    if (!root || ctx.Pages().Count() != 0) return;
    Obj* pages = FindDict(root, "Pages");
    const std::vector<Obj*> found = LostPages(ctx, pages);
    if (found.empty()) return;
    Obj* node = NewPagesNode(ctx);
    // What the old node passed down, the new one passes down.
    for (std::string_view key : {"Resources", "MediaBox", "CropBox", "Rotate"})
        if (Obj* v = pages ? pages->FindObj(key) : nullptr) node->Put(key, v);
    for (Obj* page : found) Adopt(node, page->IsIndirect() ? page : ctx.doc.AddObj(page->Clone()));
    root->Put("Pages", node);
    ctx.caches.Drop<PageTree>();
}

void GiveMissingResources(PassContext& ctx)
{
    bool given = false;
    for (const Page& page : ctx.Pages().Pages()) {
        if (page.GetResourceDict()) continue;
        page.GetSDFObj()->Resolve()->PutDict("Resources");
        given = true;
    }
    // The pages read their resources when the tree was read.
    if (given) ctx.caches.Drop<PageTree>();
}

void KeepReadableContents(PassContext& ctx)
{
    for (const Page& page : ctx.Pages().Pages()) {
        Obj* dict = page.GetSDFObj()->Resolve();
        Obj* entry = dict->FindObj("Contents");
        Obj* contents = Deref(entry);
        if (!entry || (contents && contents->IsStream())) continue;
        if (!contents || !contents->IsArray()) {
            dict->Erase("Contents");
            continue;
        }
        const std::vector<Obj*> streams = page.GetContentStreamEntries();
        if (streams.size() == contents->Size()) continue;
        auto kept = SDF::Array::Create();
        for (Obj* s : streams) kept->PushBack(s);
        dict->Put("Contents", std::move(kept));
    }
}

void RewritePageTree(PassContext& ctx)
{
    // PDF/A-1 takes no array of more than 8,191 elements: a document with more pages than
    // that has them in nodes of 4,096 under the root, whatever its tree was.
    constexpr std::size_t kMaxKids = 8191, kPagesPerNode = 4096;
    const PageTree& tree = ctx.Pages();
    const std::vector<PageTree::LostKid>& lost = tree.LostKids();
    Obj* root = FindDict(ctx.doc.GetTrailer(), "Root");
    const std::size_t total = tree.Count() + lost.size();
    const bool many = ctx.Part() == 1 && total > kMaxKids;
    if (!root || total == 0 || !(tree.WasRepaired() || many || ListsAPageTwice(tree))) return;
    Obj* node = NewPagesNode(ctx);
    Obj* leaf = node;
    std::size_t n = 0;
    auto place = [&](Obj* dict) {
        if (many && n++ % kPagesPerNode == 0) {
            leaf = NewPagesNode(ctx);
            leaf->Put("Parent", node);
            node->FindObj("Kids")->PushBack(leaf);
        }
        Adopt(leaf, dict);
    };
    std::vector<Inherits> inherits;
    for (const Page& page : tree.Pages())
        inherits.push_back({page.GetMediaBox(), page.GetCropBox(), page.GetRotation(), page.GetResourceDict()});
    std::vector<Obj*> blanks;
    for (const PageTree::LostKid& kid : lost) blanks.push_back(BlankPage(ctx, kid.media_box));
    std::size_t next_lost = 0;
    auto place_lost = [&](std::size_t before) {
        for (; next_lost < lost.size() && lost[next_lost].before == before; ++next_lost) place(blanks[next_lost]);
    };
    std::unordered_set<const Obj*> placed;
    std::unordered_map<const Obj*, Obj*> shared;
    for (std::size_t i = 0; i < tree.Count(); ++i) {
        place_lost(i);
        Obj* dict = tree.GetPage(i).GetSDFObj();
        // A page has one parent: a page listed twice, or one held directly in its parent,
        // becomes a page object of its own.
        if (!dict->IsIndirect() || !placed.insert(dict->Resolve()).second) dict = ctx.doc.AddObj(dict->Clone());
        OwnInherited(ctx, dict, inherits[i], shared);
        place(dict);
    }
    place_lost(tree.Count());
    if (many) node->PutNumber("Count", static_cast<double>(n));
    root->Put("Pages", node);
}

}  // namespace qvx::PDF
