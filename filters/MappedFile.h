#pragma once
// A read-only file mapped into memory as a whole: a memory input whose bytes stay one
// contiguous view for as long as the filter lives.

#include <string>

#include "filters/MemoryFilter.h"

namespace qvx::Filters {

class MappedFile : public MemoryFilter {
public:
    // Throws "MappingManager file not found: <path>", "MappingManager expected file but
    // got a folder: <path>" or "Error opening file: <path>\n<reason>".
    explicit MappedFile(std::string path);
    ~MappedFile() override;

    const char* GetName() const override { return "MappedFile"; }
    std::string GetFilePath() const override { return m_path; }

private:
    MappedFile(Common::ByteView mapping, std::string path);
    static Common::ByteView Map(const std::string& path);

    std::string m_path;
};

}  // namespace qvx::Filters
