#include "pdf/compliance/ComplianceDriver.h"

#include <array>

#include "pdf/compliance/DriverPasses.h"

namespace qvx::PDF {

namespace {

constexpr std::array<DriverPass, 15> kPasses{{
    {"flattening", RunFlatteningPrePass},
    {"encryption", RunEncryptionPass},
    {"file identifier", RunFileIdentifierPass},
    {"linearization identifier", RunLinearizationIdPass},
    {"mark information", RunMarkInfoPass},
    {"structure tree", RunStructTreePass},
    {"objects", RunObjectPass},
    {"permissions", RunPermissionsPass},
    {"name trees", RunNameTreesPass},
    {"optional content", RunOptionalContentPass},
    {"requirements", RunRequirementsPass},
    {"catalog version", RunCatalogVersionPass},
    {"metadata", RunMetadataPass},
    {"pages", RunPagePass},
    {"structure data", RunStructureDataPass},
}};

// Restores the state's stop pointer and releases the per-run caches when the driver
// leaves, normally or by an exception.
class RunScope {
public:
    RunScope(PassContext& ctx, bool* stop) : m_ctx(ctx), mp_saved(ctx.state.stop)
    {
        ctx.caches.Release();
        ctx.state.stop = stop ? stop : ctx.state.first_stop ? &m_own_stop : nullptr;
    }
    ~RunScope()
    {
        m_ctx.state.stop = mp_saved;
        m_ctx.caches.Release();
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    PassContext& m_ctx;
    bool* mp_saved;
    bool m_own_stop = false;
};

}  // namespace

std::span<const DriverPass> DriverPasses() { return kPasses; }

void RunDriver(PassContext& ctx, bool* stop, std::span<const DriverPass> passes)
{
    RunScope scope(ctx, stop);
    for (const DriverPass& pass : passes) {
        pass.run(ctx);
        if (ctx.state.Stopped()) return;
    }
}

}  // namespace qvx::PDF
