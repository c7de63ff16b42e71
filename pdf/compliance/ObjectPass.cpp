// Pass 6: the object count, then every object of the table from number 1 up, loaded and
// checked, until the stop flag is set.
#include <exception>
#include <unordered_set>
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

// Calls visit for each Filespec dictionary that obj holds directly, at any depth, until it
// returns false.
template <class F>
void VisitDirectFileSpecs(SDF::Obj& obj, F&& visit)
{
    std::vector<SDF::Obj*> todo{&obj};
    while (!todo.empty()) {
        SDF::Obj* o = todo.back();
        todo.pop_back();
        if (o != &obj && o->IsDict() && IsFileSpec(*o) && !visit(o)) return;
        if (o->IsArray()) {
            for (std::size_t i = o->Size(); i-- > 0;)
                if (SDF::Obj* c = o->GetAt(i); !c->IsIndirect()) todo.push_back(c);
        } else if (o->IsDict() || o->IsStream()) {
            for (auto it = o->DictBegin(); it != o->DictEnd(); ++it)
                if (!it.Value()->IsIndirect()) todo.push_back(it.Value());
        }
    }
}

// Filespec dictionaries stand as often inside other objects (an annotation's FS, an AF array,
// a name tree's values) as on their own. Validation changes nothing, so one walk finds them
// all; a repair may replace entries of the object one sits in (conversion gives the catalog a
// new AF), so conversion looks each up afresh.
void CheckDirectFileSpecs(PassContext& ctx, SDF::Obj& obj)
{
    if (!ctx.state.convert) {
        VisitDirectFileSpecs(obj, [&](SDF::Obj* filespec) {
            CheckNonStreamDict(ctx, *filespec);
            return !ctx.Stopped();
        });
        return;
    }
    std::unordered_set<const SDF::Obj*> done;
    while (!ctx.Stopped()) {
        SDF::Obj* next = nullptr;
        VisitDirectFileSpecs(obj, [&](SDF::Obj* filespec) {
            if (done.count(filespec)) return true;
            next = filespec;
            return false;
        });
        if (!next) return;
        done.insert(next);
        CheckNonStreamDict(ctx, *next);
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
