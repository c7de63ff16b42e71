#include "pdf/compliance/TreeLeaves.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "pdf/ObjUtil.h"
#include "sdf/Array.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

constexpr std::size_t kMaxArray = 8191, kPairsPerLeaf = 2048;

// The leaves among obj and the dictionaries held directly in it: a tree's root may sit
// directly in the catalog's Names dictionary.
void FindLongLeaves(Obj* obj, int depth, std::vector<std::pair<Obj*, const char*>>& out)
{
    if (!obj || depth > 8 || !(obj->IsDict() || obj->IsStream())) return;
    for (const char* key : {"Names", "Nums"}) {
        Obj* a = Deref(obj->FindObj(key));
        if (a && a->IsArray() && a->Size() > kMaxArray && !obj->FindObj("Kids")) out.emplace_back(obj, key);
    }
    for (auto it = obj->DictBegin(); it != obj->DictEnd(); ++it)
        if (Obj* v = it.Value(); v && !v->IsIndirect()) FindLongLeaves(v, depth + 1, out);
}

void Split(SDF::SDFDoc& doc, Obj* node, const char* key)
{
    Obj* entries = Deref(node->FindObj(key));
    auto kids = SDF::Array::Create();
    const std::size_t n = entries->Size();
    for (std::size_t from = 0; from < n; from += 2 * kPairsPerLeaf) {
        const std::size_t to = std::min(n, from + 2 * kPairsPerLeaf);
        Obj* leaf = doc.CreateIndirectDict();
        Obj* part = leaf->PutArray(key);
        for (std::size_t i = from; i < to; ++i) part->PushBack(entries->GetAt(i));
        // The last key is that of the last whole pair; an odd element at the end is no key.
        if (to - from >= 2) {
            Obj* limits = leaf->PutArray("Limits");
            limits->PushBack(entries->GetAt(from));
            limits->PushBack(entries->GetAt(from + ((to - from) / 2 - 1) * 2));
        }
        kids->PushBack(leaf);
    }
    node->Put("Kids", std::move(kids));
    node->Erase(key);
}

}  // namespace

void SplitLongTreeLeaves(PassContext& ctx)
{
    if (ctx.Part() != 1) return;
    std::vector<std::pair<Obj*, const char*>> leaves;
    ForEachObject(ctx.doc, [&](Obj* obj) { FindLongLeaves(obj, 0, leaves); });
    for (const auto& [node, key] : leaves) Split(ctx.doc, node, key);
}

}  // namespace qvx::PDF
