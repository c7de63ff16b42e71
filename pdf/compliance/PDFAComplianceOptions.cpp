#include "pdf/compliance/PDFAComplianceOptions.h"

#include <limits>

#include "common/Exception.h"

namespace qvx::PDF {

template <class T>
T PDFAComplianceOptions::Read(const char* key, T fallback) const
{
    auto it = m_values.find(key);
    if (it == m_values.end()) return fallback;
    const T* value = std::get_if<T>(&it->second);
    if (!value) QVX_THROW("std::holds_alternative(value)", std::string("Wrong type of compliance option ") + key);
    return *value;
}

std::int32_t PDFAComplianceOptions::ReadInt32(const char* key, std::int32_t fallback) const
{
    std::int64_t v = Read<std::int64_t>(key, fallback);
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        QVX_THROW("value fits in 32 bits", std::string("Compliance option out of range: ") + key);
    return static_cast<std::int32_t>(v);
}

std::string PDFAComplianceOptions::GetPassword() const { return Read<std::string>("Password", {}); }
std::int32_t PDFAComplianceOptions::GetConformance() const { return ReadInt32("Conformance", 2); }
std::int32_t PDFAComplianceOptions::GetDpi() const { return ReadInt32("Dpi", 300); }
bool PDFAComplianceOptions::GetFirstStop() const { return Read<bool>("FirstStop", false); }
bool PDFAComplianceOptions::GetFlatten() const { return Read<bool>("Flatten", false); }
std::string PDFAComplianceOptions::GetStructureData() const { return Read<std::string>("StructureData", {}); }

std::uint32_t PDFAComplianceOptions::GetMaxRefObjs() const
{
    std::int64_t v = Read<std::int64_t>("MaxRefObjs", 10);
    if (v < 0 || v > std::numeric_limits<std::uint32_t>::max())
        QVX_THROW("0 <= value <= UINT32_MAX", "Compliance option out of range: MaxRefObjs");
    return static_cast<std::uint32_t>(v);
}

}  // namespace qvx::PDF
