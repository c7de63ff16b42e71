#pragma once
// Reads a file's cross-reference data into the document's table: the header, startxref,
// classic tables and cross-reference streams along the Prev chain (hybrid files through
// XRefStm). The newest section wins: an entry is only written into an empty slot or a
// placeholder. During a PDF/A check it records the file-structure findings (header,
// end-of-file marker, table layout, trailer ID).

#include <memory>
#include <vector>

#include "sdf/Parser.h"

namespace qvx::SDF {

class XRefParser : public Parser {
public:
    explicit XRefParser(SDFDocImpl& doc);
    // Everything above; the first trailer read becomes the document trailer. Throws when
    // the chain cannot be read (the caller then rebuilds).
    void ParseImpl();

protected:
    // R makes a placeholder for an object no section has defined yet.
    bool HandleKeyword(std::string_view keyword) override;

private:
    struct Section {
        std::uint64_t offset;
        std::unique_ptr<Obj> trailer;
        bool stream;
    };

    void ReadHeader();
    std::uint64_t FindXRefOffset();
    // The section at offset (header offset already added).
    Section ParseXRef(std::uint64_t offset);
    std::unique_ptr<Obj> ParseClassic();
    std::unique_ptr<Obj> ParseXRefStream(std::uint64_t offset);
    // Writes an entry unless a newer section has defined it.
    void Define(std::uint64_t num, int type, std::uint64_t f2, std::uint64_t f3);
    void CheckTrailerID(const std::vector<Section>& sections);
    // An offset from the file, made absolute; false when it is not a usable number.
    bool FileOffset(const Obj* trailer, std::string_view key, std::uint64_t& out) const;

    std::uint64_t m_header_offset = 0;
};

}  // namespace qvx::SDF
