#pragma once
// A file written under a temporary name in its destination's folder and renamed over the
// destination by Commit: readers never see a partial file, and a write that fails (or is
// never committed) leaves the destination as it was and no temporary file behind.

#include <string>

#include "filters/StdFile.h"

namespace qvx::Filters {

class AtomicFileSink : public StdFile {
public:
    // Creates the temporary file beside dest; throws "Cannot create a temporary file in
    // <folder>\n<reason>" when the folder does not take it.
    explicit AtomicFileSink(const std::string& dest);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFileSink() override;

    const char* GetName() const override { return "AtomicFileSink"; }
    // Writes what is buffered, syncs it to disk and renames it to the destination.
    void Commit();
    const std::string& Destination() const { return m_dest; }

private:
    static std::string CreateTemporary(const std::string& dest);

    std::string m_dest;
    bool m_committed = false;
};

}  // namespace qvx::Filters
