// Output intents: one destination profile shared by all intents, a GTS_PDFA1 profile that
// is a readable ICC stream, no external profile references, an output condition named.
#include "common/Exception.h"
#include "pdf/ObjUtil.h"
#include "pdf/compliance/OutputIntents.h"
#include "sdf/Dict.h"

namespace qvx::PDF {

using SDF::Obj;

namespace {

// Element counts read from a file are bounded by the array itself; this bounds the work on
// absurd arrays of intents.
constexpr std::size_t kMaxIntents = 1024;

// A destination profile a PDF/A output intent can use: an output or display profile of a
// gray, RGB or CMYK space, of an ICC version the part accepts (2 for PDF/A-1, up to 4 later).
bool UsableDestination(const ICCProfile& icc, int part)
{
    const std::string& cls = icc.GetDeviceClass();
    const std::string& space = icc.GetColorSpace();
    int major = static_cast<int>(icc.GetVersion() >> 24);
    return (cls == "prtr" || cls == "mntr") && (space == "GRAY" || space == "RGB " || space == "CMYK") &&
           major >= 2 && major <= (part == 1 ? 2 : 4);
}

}  // namespace

void CheckOutputIntents(PassContext& ctx, Obj* holder)
{
    if (!ctx.Checks()) return;
    Obj* intents = FindIn(holder, "OutputIntents");
    if (!intents) return;
    OutputIntentState& oi = ctx.caches.Get<OutputIntentState>();
    bool faulty = !intents->IsArray();
    Obj* reference = nullptr;
    bool have_reference = false;
    const int level = ctx.state.level;
    std::size_t n = intents->IsArray() ? std::min(intents->Size(), kMaxIntents) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        Obj* intent = Deref(intents->GetAt(i));
        if (!intent || !intent->IsDict()) continue;
        std::string_view s = FindName(intent, "S");
        if (FindIn(intent, "DestOutputProfileRef") &&
            ((level >= 3 && level <= 8 && s == "GTS_PDFX") || level >= 9)) {
            ctx.Report(SDF::e_PDFA2310, intent);
            // The reference names a profile outside the file; the embedded one, if any, stays.
            if (ctx.state.convert) intent->Erase("DestOutputProfileRef");
        }
        Obj* profile = FindIn(intent, "DestOutputProfile");
        if (!have_reference) {
            if (profile) reference = profile, have_reference = true;
        } else if (profile != reference) {
            ctx.Report(SDF::e_PDFA221, intents);
            faulty = true;
        }
        if (s == "GTS_PDFA1" && profile) {
            std::shared_ptr<const ICCProfile> icc = profile->IsStream() ? ICCProfile::FromStream(profile) : nullptr;
            if (!icc || !UsableDestination(*icc, ctx.Part())) {
                ctx.Report(SDF::e_PDFA232, profile);
                faulty = true;
            } else {
                if (FindNumber(profile, "N", 0) != icc->GetComponentCount()) {
                    ctx.Report(SDF::e_PDFA233, profile);
                    faulty = true;
                }
                if (oi.components == 0) {
                    oi.components = icc->GetComponentCount();
                    oi.profile = profile;
                    oi.icc = std::move(icc);
                }
            }
        }
        // A null value names no condition, as a missing entry does.
        if (!FindIn(intent, "OutputConditionIdentifier")) {
            ctx.Report(SDF::e_PDFA11, intent);
            faulty = true;
        }
    }
    if (!ctx.state.convert) return;
    if (faulty || oi.components == 0) {
        holder->Erase("OutputIntents");
        if (oi.profile && faulty) oi = {};
    }
}

void AddSRGBOutputIntent(PassContext& ctx)
{
    OutputIntentState& oi = ctx.caches.Get<OutputIntentState>();
    Obj* root = FindDict(ctx.doc.GetTrailer(), "Root");
    if (oi.components != 0 || !root) return;
    SDF::SDFDoc& doc = ctx.doc;
    Obj* array = root->PutArray("OutputIntents");
    Obj* profile = NewSRGBProfileStream(doc);
    Obj* intent = array->PushBackDict();
    intent->Put("DestOutputProfile", profile);
    intent->PutName("Type", "OutputIntent");
    intent->PutName("S", "GTS_PDFA1");
    intent->PutString("OutputConditionIdentifier", "sRGB IEC61966-2.1");
    oi.components = 3;
    oi.profile = profile;
    oi.icc = ICCProfile::FromBytes(SRGBProfileBytes());
}

}  // namespace qvx::PDF
