// Pass 6: the object count, then every object of the table from number 1 up, loaded and
// checked, until the stop flag is set.
#include <exception>
#include <string>
#include <vector>

#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/ObjectChecks.h"
#include "sdf/NumberToken.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::PDF {

namespace {
// The most indirect objects a PDF/A-1 to -3 file may hold.
constexpr std::size_t kMaxIndirectObjects = 8388607;

// Conversion: the numbers an object holds directly (in its arrays and dictionaries, not in
// the objects it refers to), brought within the limits of part.
void PutNumbersWithinLimits(SDF::Obj& obj, int part)
{
    std::vector<SDF::Obj*> todo{&obj};
    while (!todo.empty()) {
        SDF::Obj* o = todo.back();
        todo.pop_back();
        if (o->IsIndirect()) continue;
        if (o->IsNumber()) {
            const double v = SDF::ValueWithinLimits(o->GetNumber(), part);
            if (v != o->GetNumber()) o->SetNumber(v);
        } else if (o->IsArray()) {
            for (std::size_t i = 0; i < o->Size(); ++i) todo.push_back(o->GetAt(i));
        } else if (o->IsDict() || o->IsStream()) {
            for (auto it = o->DictBegin(); it != o->DictEnd(); ++it) todo.push_back(it.Value());
        }
    }
}

// One step from a container to a value it holds directly: a dictionary's key or an array's
// index.
struct Step {
    std::string key;
    std::size_t index = 0;
};

// The Filespec dictionaries that obj holds directly, at any depth, each with the steps that
// lead to it from obj.
std::vector<std::vector<Step>> DirectFileSpecs(SDF::Obj& obj)
{
    struct Node {
        SDF::Obj* obj;
        std::size_t parent;
        Step step;
    };
    std::vector<Node> nodes{{&obj, 0, {}}};
    std::vector<std::size_t> todo{0};
    std::vector<std::vector<Step>> found;
    while (!todo.empty()) {
        const std::size_t at = todo.back();
        todo.pop_back();
        SDF::Obj* o = nodes[at].obj;
        if (at != 0 && o->IsDict() && IsFileSpec(*o)) {
            std::vector<Step> path;
            for (std::size_t n = at; n != 0; n = nodes[n].parent) path.insert(path.begin(), nodes[n].step);
            found.push_back(std::move(path));
        }
        auto add = [&](SDF::Obj* child, Step step) {
            if (child->IsIndirect()) return;
            nodes.push_back({child, at, std::move(step)});
            todo.push_back(nodes.size() - 1);
        };
        if (o->IsArray()) {
            for (std::size_t i = o->Size(); i-- > 0;) add(o->GetAt(i), {{}, i});
        } else if (o->IsDict() || o->IsStream()) {
            for (auto it = o->DictBegin(); it != o->DictEnd(); ++it) add(it.Value(), {std::string(it.KeyText()), 0});
        }
    }
    return found;
}

// The direct object the steps lead to from obj; null where they no longer do.
SDF::Obj* Follow(SDF::Obj& obj, const std::vector<Step>& path)
{
    SDF::Obj* o = &obj;
    for (const Step& s : path) {
        SDF::Obj* next = nullptr;
        if (o->IsArray()) next = s.index < o->Size() ? o->GetAt(s.index) : nullptr;
        else if (o->IsDict() || o->IsStream()) next = o->FindObj(s.key);
        if (!next || next->IsIndirect()) return nullptr;
        o = next;
    }
    return o;
}

// Filespec dictionaries stand as often inside other objects (an annotation's FS, an AF array,
// a name tree's values) as on their own. A repair may replace entries of the object one sits
// in (conversion gives the catalog a new AF), so each is reached afresh by its steps.
void CheckDirectFileSpecs(PassContext& ctx, SDF::Obj& obj)
{
    for (const std::vector<Step>& path : DirectFileSpecs(obj)) {
        if (ctx.Stopped()) return;
        SDF::Obj* filespec = Follow(obj, path);
        if (filespec && filespec->IsDict() && IsFileSpec(*filespec)) CheckNonStreamDict(ctx, *filespec);
    }
}

}  // namespace

void RunObjectPass(PassContext& ctx)
{
    if (!ctx.Checks() && !ctx.state.is_pdfua) return;
    SDF::SDFDocImpl& impl = ctx.doc.GetImpl();
    // Objects that conversion adds on the way are its own and need no check.
    const std::size_t size = impl.XRefSize();
    if (size > kMaxIndirectObjects) ctx.Report(SDF::e_PDFA1125);
    for (std::size_t n = 1; n < size && !ctx.Stopped(); ++n) {
        SDF::Indirect* entry = impl.GetEntry(static_cast<std::uint32_t>(n));
        if (!entry || entry->IsFree()) continue;
        try {
            SDF::Obj* obj = entry->Resolve();
            if (ctx.state.convert && SDF::NumberLimitsBroken(ctx.state.errors)) PutNumbersWithinLimits(*obj, ctx.Part());
            if (obj->IsStream()) {
                if (ctx.Checks()) CheckStream(ctx, *entry);
                // The copy is written whole: data whose end cannot be found even by the
                // repair above would stop the save.
                if (ctx.state.convert) obj->GetRawStreamLength();
            } else if (obj->IsDict()) {
                CheckNonStreamDict(ctx, *entry);
            }
            CheckDirectFileSpecs(ctx, *obj);
        } catch (const std::exception&) {
            // Later passes meet a null instead of the object that cannot be read.
            ctx.Report(SDF::e_PDFA11, entry);
            entry->SetReferent(SDF::Null::Create());
            entry->SetModified();
        }
    }
}

}  // namespace qvx::PDF
