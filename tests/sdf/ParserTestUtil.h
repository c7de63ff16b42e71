#pragma once
// Documents over hand-written bytes for the parser tests: the table entries are set from
// the "n g obj" lines found in the bytes, with no cross-reference data involved.

#include <memory>
#include <regex>
#include <string>

#include "filters/MemoryFilter.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::Test {

// A document whose file is bytes, checked at level (0: no checks).
inline std::unique_ptr<SDF::SDFDoc> DocOver(const std::string& bytes, int level = 0, bool convert = false)
{
    auto doc = std::make_unique<SDF::SDFDoc>();
    SDF::SDFDocImpl& impl = doc->GetImpl();
    impl.GetCheckState().parser_level = level;
    impl.GetCheckState().convert = convert;
    impl.AttachFile(std::make_unique<Filters::MemoryFilter>(Common::ToBytes(bytes)));
    static const std::regex header(R"((^|[\r\n ])(\d+)\s+(\d+)\s+obj)");
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), header); it != std::sregex_iterator(); ++it) {
        auto off = static_cast<std::uint64_t>(it->position(2));
        impl.SetEntry(static_cast<std::uint32_t>(std::stoul((*it)[2])), SDF::Indirect::e_in_use, off,
                      static_cast<std::uint32_t>(std::stoul((*it)[3])));
    }
    impl.SetLoader(std::make_unique<SDF::ObjParser>(impl));
    return doc;
}

// The error codes recorded in doc's check state.
inline std::vector<int> Codes(SDF::SDFDoc& doc)
{
    std::vector<int> out;
    for (const auto& [code, rec] : doc.GetCheckState().errors.Records()) out.push_back(code);
    return out;
}

}  // namespace qvx::Test
