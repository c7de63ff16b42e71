#include "apps/tolva/FileResult.h"

namespace qvx::Tolva {

std::vector<Finding> ReadFindings(const PDF::ErrorStoreReader& errors)
{
    std::vector<Finding> findings(static_cast<std::size_t>(errors.GetErrorCount()));
    for (std::size_t i = 0; i < findings.size(); ++i) {
        Finding& f = findings[i];
        f.code = errors.GetError(static_cast<int>(i));
        int count = errors.GetRefCount(f.code);
        f.objects.reserve(static_cast<std::size_t>(count));
        for (int k = 0; k < count; ++k) f.objects.push_back(errors.GetRef(f.code, k));
    }
    return findings;
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::e_Pass: return "pass";
    case Verdict::e_Fail: return "fail";
    case Verdict::e_Error: return "error";
    case Verdict::e_NoClaim: return "no-claim";
    }
    return "error";
}

}  // namespace qvx::Tolva
