#pragma once
// The keyed options of a compliance run. Values are stored under their key, sorted by key;
// a setter replaces what the key held. Absent keys read as their defaults.

#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace qvx::PDF {

class PDFAComplianceOptions {
public:
    using Value = std::variant<std::int64_t, bool, std::string>;

    void SetPassword(std::string password) { m_values["Password"] = std::move(password); }
    void SetConformance(std::int64_t level) { m_values["Conformance"] = level; }
    void SetDpi(std::int64_t dpi) { m_values["Dpi"] = dpi; }
    void SetFirstStop(bool on) { m_values["FirstStop"] = on; }
    void SetFlatten(bool on) { m_values["Flatten"] = on; }
    void SetMaxRefObjs(std::int64_t n) { m_values["MaxRefObjs"] = n; }
    // Structure data handed through to the driver's last pass; the tool never sets it.
    void SetStructureData(std::string data) { m_values["StructureData"] = std::move(data); }

    // Readers with the defaults of an absent key. A key holding another type than its
    // reader expects throws the engine exception.
    std::string GetPassword() const;             // empty
    std::int32_t GetConformance() const;         // 2 (PDF/A-1b)
    std::int32_t GetDpi() const;                 // 300
    bool GetFirstStop() const;                   // false
    bool GetFlatten() const;                     // false
    std::uint32_t GetMaxRefObjs() const;         // 10
    std::string GetStructureData() const;        // empty

    const std::map<std::string, Value>& Values() const { return m_values; }

private:
    template <class T>
    T Read(const char* key, T fallback) const;
    std::int32_t ReadInt32(const char* key, std::int32_t fallback) const;

    std::map<std::string, Value> m_values;
};

}  // namespace qvx::PDF
