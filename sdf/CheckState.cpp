#include "sdf/CheckState.h"

namespace qvx::SDF {

ErrorRecord& ErrorStore::AddError(std::int32_t code)
{
    ErrorRecord& rec = m_err[code];
    rec.present = true;
    return rec;
}

ErrorRecord& ErrorStore::AddError(std::int32_t code, std::uint32_t obj_num)
{
    ErrorRecord& rec = AddError(code);
    if (obj_num != 0 && (m_max_refs == 0 || rec.refs.size() < m_max_refs)) rec.refs.insert(obj_num);
    return rec;
}

void ErrorStore::ClearPresent()
{
    for (auto& [code, rec] : m_err) rec.present = false;
}

bool ErrorStore::AnyPresent() const
{
    for (const auto& [code, rec] : m_err)
        if (rec.present) return true;
    return false;
}

int CheckState::PartOf(std::int32_t level)
{
    if (level >= 1 && level <= 2) return 1;
    if (level >= 3 && level <= 5) return 2;
    if (level >= 6 && level <= 8) return 3;
    if (level >= 9 && level <= 11) return 4;
    return 0;
}

void CheckState::ReportAt(std::int32_t at_level, std::int32_t code, std::uint32_t obj_num)
{
    if (!InForce(code, at_level)) return;
    errors.AddError(code, obj_num);
    RequestStop();
}

void CheckState::RequestStop()
{
    if (first_stop && !convert && stop) *stop = true;
}

}  // namespace qvx::SDF
