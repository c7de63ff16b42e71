#include <algorithm>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

std::shared_ptr<const ObjStmData> ReadObjStm(const Obj& stream)
{
    auto number = [&](std::string_view key) {
        Obj* v = stream.FindObj(key);
        v = v ? v->Resolve() : nullptr;
        if (!v || !v->IsNumber() || !(v->GetNumber() >= 0 && v->GetNumber() <= 4294967295.0))
            QVX_THROW("v && v->IsNumber() && v->GetNumber() >= 0 && v->GetNumber() <= 4294967295.0", "Compressed object stream is corrupt");
        return static_cast<std::uint64_t>(v->GetNumber());
    };
    std::uint64_t n = number("N");
    std::uint64_t first = number("First");
    auto stm = std::make_shared<ObjStmData>();
    {
        auto dec = stream.GetDecodedStream();
        Filters::FilterReader r(*dec);
        stm->data = r.ReadAll();
    }
    stm->first = std::min<std::uint64_t>(first, stm->data.size());
    // Each pair takes at least four bytes ("1 0 "), which bounds N by the data.
    n = std::min<std::uint64_t>(n, stm->data.size() / 4 + 1);
    Parser p(stm->data, nullptr);
    for (std::uint64_t i = 0; i < n; ++i) {
        std::size_t base = p.StackSize();
        if (!p.GetObj() || !p.GetObj() || !p.IsNumberAt(base) || !p.IsNumberAt(base + 1)) break;
        double num = p.NumberAt(base), off = p.NumberAt(base + 1);
        if (!(num >= 0 && num <= Common::Limits::kMaxXRefObjNum && off >= 0 && off <= 4294967295.0)) break;
        stm->pairs.emplace_back(static_cast<std::uint32_t>(num), static_cast<std::uint64_t>(off));
    }
    stm->after_pairs = p.Tell();
    return stm;
}

ObjStmParser::ObjStmParser(const ObjStmData& stm, SDFDocImpl& doc) : Parser(stm.data, &doc), m_stm(stm)
{
    SalvageInConversion();
}

std::unique_ptr<Obj> ObjStmParser::ReadObject(std::uint32_t num, std::uint32_t hint)
{
    const auto& pairs = m_stm.pairs;
    std::size_t idx = hint;
    if (idx >= pairs.size() || pairs[idx].first != num) {
        auto it = std::find_if(pairs.begin(), pairs.end(), [&](const auto& pr) { return pr.first == num; });
        if (it == pairs.end()) QVX_THROW("it != pairs.end()", "Could not locate expected object in object stream");
        idx = static_cast<std::size_t>(it - pairs.begin());
    }
    m_cur_num = num;
    Seek(std::max(m_stm.first + pairs[idx].second, m_stm.after_pairs));
    ClearStack();
    if (!GetObj()) QVX_THROW("GetObj()", "Compressed object is corrupt");
    return TakeAt(0);
}

}  // namespace qvx::SDF
