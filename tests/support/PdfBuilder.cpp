#include "tests/support/PdfBuilder.h"

#include <algorithm>
#include <cstdio>

namespace qvx::Test {

PdfBuilder::PdfBuilder(std::string version) : m_header("%PDF-" + version) {}

int PdfBuilder::Add(std::string body)
{
    int num = m_objects.empty() ? 1 : m_objects.rbegin()->first + 1;
    Set(num, std::move(body));
    return num;
}

void PdfBuilder::Set(int num, std::string body, int gen) { m_objects[num] = {std::move(body), gen}; }

static std::string StreamBody(const std::string& dict, const std::string& data)
{
    return "<<" + dict + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data +
           "\nendstream";
}

int PdfBuilder::AddStream(std::string dict, std::string data) { return Add(StreamBody(dict, data)); }

void PdfBuilder::SetStream(int num, std::string dict, std::string data)
{
    Set(num, StreamBody(dict, data));
}

std::string PdfBuilder::Build(XRef kind) const
{
    std::string out = m_prefix + m_header + "\n";
    if (!m_binary.empty()) out += m_binary + "\n";
    m_offsets.clear();
    m_in_stream.clear();
    int max_num = m_objects.empty() ? 0 : m_objects.rbegin()->first;
    for (const auto& [stm, nums] : m_packed) {
        max_num = std::max(max_num, stm);
        for (std::size_t i = 0; i < nums.size(); ++i) m_in_stream[nums[i]] = {stm, static_cast<int>(i)};
    }
    auto emit = [&](int num, int gen, const std::string& body) {
        m_offsets[num] = static_cast<long>(out.size() - m_prefix.size());
        out += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
    };
    for (const auto& [num, e] : m_objects)
        if (!m_in_stream.count(num)) emit(num, e.gen, e.body);
    for (const auto& [stm, nums] : m_packed) emit(stm, 0, ObjStmBody(nums));
    long xref_at = static_cast<long>(out.size() - m_prefix.size());
    auto offset_of = [&](int n) { auto it = m_offsets.find(n); return it == m_offsets.end() ? -1L : it->second; };
    if (kind == XRef::e_table) {
        out += "xref\n0 " + std::to_string(max_num + 1) + "\n";
        out += "0000000000 65535 f\r\n";
        char line[32];
        for (int n = 1; n <= max_num; ++n) {
            long off = offset_of(n);
            if (off < 0) {
                std::snprintf(line, sizeof line, "0000000000 00001 f\r\n");
            } else {
                std::snprintf(line, sizeof line, "%010ld %05d n\r\n", off, m_objects.count(n) ? m_objects.at(n).gen : 0);
            }
            out += line;
        }
        out += "trailer\n<</Size " + std::to_string(max_num + 1) + " " + m_trailer + ">>\n";
    } else if (kind == XRef::e_stream) {
        int xnum = max_num + 1;
        std::string data;
        auto put = [&](int type, long f2, int f3) {
            data += static_cast<char>(type);
            for (int s = 24; s >= 0; s -= 8) data += static_cast<char>((f2 >> s) & 0xFF);
            data += static_cast<char>((f3 >> 8) & 0xFF);
            data += static_cast<char>(f3 & 0xFF);
        };
        put(0, 0, 65535);
        for (int n = 1; n <= max_num; ++n) {
            long off = offset_of(n);
            auto packed = m_in_stream.find(n);
            if (packed != m_in_stream.end()) put(2, packed->second.first, packed->second.second);
            else if (off < 0) put(0, 0, 1);
            else put(1, off, m_objects.count(n) ? m_objects.at(n).gen : 0);
        }
        put(1, xref_at, 0);
        out += std::to_string(xnum) + " 0 obj\n<</Type/XRef/Size " + std::to_string(xnum + 1) +
               "/W[1 4 2] " + m_trailer + "/Length " + std::to_string(data.size()) +
               ">>\nstream\n" + data + "\nendstream\nendobj\n";
    }
    if (kind != XRef::e_none) out += "startxref\n" + std::to_string(xref_at) + "\n%%EOF\n";
    out += m_tail;
    return out;
}

std::string PdfBuilder::ObjStmBody(const std::vector<int>& nums) const
{
    std::string pairs, objects;
    for (int n : nums) {
        pairs += std::to_string(n) + " " + std::to_string(objects.size()) + " ";
        objects += m_objects.at(n).body + "\n";
    }
    return StreamBody("/Type/ObjStm/N " + std::to_string(nums.size()) + "/First " + std::to_string(pairs.size()),
                      pairs + objects);
}

PdfBuilder PdfBuilder::Minimal(std::string version)
{
    PdfBuilder b(std::move(version));
    b.Set(1, "<</Type/Catalog/Pages 2 0 R>>");
    b.Set(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources<<>>/Contents 4 0 R>>");
    b.SetStream(4, "", "0 0 m 100 100 l S");
    b.SetTrailer("/Root 1 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    return b;
}

}  // namespace qvx::Test
