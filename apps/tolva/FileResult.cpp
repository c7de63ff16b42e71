#include "apps/tolva/FileResult.h"

namespace qvx::Tolva {

std::vector<Finding> ReadFindings(const PDF::ErrorStoreReader& errors)
{
    std::vector<Finding> findings;
    for (const auto& [code, record] : errors) findings.push_back({code, {record.refs.begin(), record.refs.end()}});
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
