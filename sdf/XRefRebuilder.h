#pragma once
// Rebuilds the object table of a damaged file by scanning it for object headers and
// trailers. Entered at most once per open, from SDFDocImpl::Open, when reading the
// cross-reference data or the first sanity checks failed.
//
// The scan looks for "n g obj" and "trailer" between objects; each object found is read
// with the object reader (a stream's extent is verified or found by scanning for
// endstream), so object bodies and stream data are not searched for headers unless the
// object cannot be read. The last definition of an object number wins. Objects packed in
// object streams are registered afterwards, where no later plain definition exists, once
// the trailer is known and the security handler set up again (an encrypted file's object
// streams are encrypted).

#include <optional>
#include <vector>

#include "sdf/Parser.h"

namespace qvx::SDF {

class XRefRebuilderImpl : public Parser {
public:
    explicit XRefRebuilderImpl(SDFDocImpl& doc);
    // The header is looked for in the first 4096 bytes; without one the scan starts at 0.
    // Throws "PDF header not found. The file is not a valid PDF document." when there is
    // neither a header nor a trailer or catalog, and "rebuild error" without a catalog.
    void Rebuild();

protected:
    // R makes a placeholder entry (numbers up to the rebuilder's limit).
    bool HandleKeyword(std::string_view keyword) override;
    // The scan reads damaged bytes to find where objects and trailers end: any word closes
    // what is open, so that a trailer cut short by garbage still yields its entries.
    bool ClosesOpenObjects(std::string_view) const override { return true; }

private:
    // Reads the object whose header "num gen obj" starts at header and whose body starts at
    // body; returns where the scan goes on.
    std::size_t ReadObject(std::uint32_t num, std::uint32_t gen, std::size_t header, std::size_t body);
    std::size_t ReadTrailer(std::size_t after_keyword);
    void OfferTrailer(std::unique_ptr<Obj> dict);
    // When no trailer was found: one naming the last catalog object as Root, one that an
    // object stream holds when no plain object is a catalog.
    void MakeTrailer();

    // Where keyword next occurs at or after from (the data size when nowhere). The scan
    // moves forward, so remembering the last answer keeps repeated searches linear.
    struct NextHit {
        std::size_t from = 0, at = 0;
        bool valid = false;
    };
    std::size_t Next(NextHit& cache, std::string_view keyword, std::size_t from);
    // The data length of a stream starting at data, found by scanning (cached likewise).
    std::optional<std::uint64_t> ScanStreamLength(std::size_t data);

    std::unique_ptr<Obj> mp_trailer;
    std::uint32_t m_catalog = 0;
    std::size_t m_objects = 0;  // the objects the scan found
    bool m_streams_registered = false;
    NextHit m_next_endobj, m_next_startxref, m_next_trailer;
    std::size_t m_scan_from = 0, m_scan_end = 0;
    std::optional<std::uint64_t> m_scan_found;
    bool m_scan_valid = false;
};

// Registers the objects of the object streams the rebuilder found (doc.RebuiltObjStms())
// where no later plain definition exists. Object streams that cannot be decoded add
// nothing; the security setup calls it again once a handler can decrypt them.
void RegisterObjectStreams(SDFDocImpl& doc);

}  // namespace qvx::SDF
