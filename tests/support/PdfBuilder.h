#pragma once
// Builds small PDF files for tests with correct offsets, cross-reference data and trailer,
// so each test can break exactly one thing and keep the rest well-formed.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qvx::Test {

class PdfBuilder {
public:
    enum class XRef { e_table, e_stream, e_none };

    explicit PdfBuilder(std::string version = "1.7");

    // Replaces the whole header line (default "%PDF-<version>").
    void SetHeader(std::string header) { m_header = std::move(header); }
    // The comment line after the header; empty for none. Default: % and four bytes > 127.
    void SetBinaryComment(std::string comment) { m_binary = std::move(comment); }
    // Bytes written before the header (junk before %PDF).
    void SetPrefix(std::string prefix) { m_prefix = std::move(prefix); }

    // Adds an object with the next free number; body is what stands between "obj" and "endobj".
    int Add(std::string body);
    void Set(int num, std::string body, int gen = 0);
    // Adds a stream: dict holds the entries without Length (it is added), data the raw bytes.
    int AddStream(std::string dict, std::string data);
    void SetStream(int num, std::string dict, std::string data);

    // Packs objects nums into object stream objstm (written uncompressed); needs a
    // cross-reference stream, which lists them as compressed entries.
    void Pack(int objstm, std::vector<int> nums) { m_packed[objstm] = std::move(nums); }

    // Entries of the trailer besides Size (for example "/Root 1 0 R").
    void SetTrailer(std::string entries) { m_trailer = std::move(entries); }
    // Bytes appended after the final %%EOF line.
    void SetTail(std::string tail) { m_tail = std::move(tail); }

    std::string Build(XRef kind = XRef::e_table) const;
    // Offset of object num in the last Build().
    long Offset(int num) const { return m_offsets.at(num); }

    // A catalog (1), page tree (2), one page (3) with a content stream (4) drawing text-free
    // marks, and a trailer with Root and ID.
    static PdfBuilder Minimal(std::string version = "1.7");

private:
    struct Entry { std::string body; int gen; };
    std::string m_header;
    std::string m_binary = "%\xE2\xE3\xCF\xD3";
    std::string m_prefix;
    std::string m_trailer;
    std::string m_tail;
    std::string ObjStmBody(const std::vector<int>& nums) const;

    std::map<int, Entry> m_objects;
    std::map<int, std::vector<int>> m_packed;
    mutable std::map<int, long> m_offsets;
    mutable std::map<int, std::pair<int, int>> m_in_stream;  // number -> (stream, index)
};

}  // namespace qvx::Test
