#include "sdf/XRefWriter.h"

#include <algorithm>
#include <cstdio>

#include "sdf/DocWriter.h"
#include "sdf/Objects.h"
#include "sdf/WriteFlate.h"

namespace qvx::SDF {

void LinkFreeEntries(XRefEntries& entries)
{
    XRefEntry* prev = nullptr;
    for (auto& [num, e] : entries) {
        if (e.type != 0) continue;
        if (prev) prev->field2 = num;
        prev = &e;
        e.field2 = 0;
    }
}

// Calls f(first, count) for each run of consecutive object numbers.
template <class F>
static void ForEachRun(const XRefEntries& entries, F f)
{
    std::size_t i = 0;
    while (i < entries.size()) {
        std::size_t j = i + 1;
        while (j < entries.size() && entries[j].first == entries[j - 1].first + 1) ++j;
        f(i, j - i);
        i = j;
    }
}

std::string XRefLine(const XRefEntry& e)
{
    char line[32];
    std::snprintf(line, sizeof line, "%010llu %05u %c\r\n", static_cast<unsigned long long>(e.field2),
                  static_cast<unsigned>(e.field3 & 0xFFFF), e.type == 0 ? 'f' : 'n');
    return line;
}

void WriteXRefTable(DocWriter& w, const XRefEntries& entries, const Obj& trailer)
{
    std::string text = "xref\r";
    ForEachRun(entries, [&](std::size_t first, std::size_t count) {
        text += std::to_string(entries[first].first);
        text += ' ';
        text += std::to_string(count);
        text += '\r';
        for (std::size_t k = first; k < first + count; ++k) text += XRefLine(entries[k].second);
        w.WriteText(text);
        text.clear();
    });
    text += "trailer\r";
    w.WriteText(text);
    w.WritePlain(trailer);
    w.WriteText("\r");
}

static int BytesFor(std::uint64_t v)
{
    int n = 1;
    while (n < 8 && (v >> (8 * n)) != 0) ++n;
    return n;
}

void WriteXRefStream(DocWriter& w, XRefEntries entries, const Obj& trailer, std::uint32_t num, std::uint32_t size)
{
    XRefEntry self{1, w.Offset(), 0};
    auto at = std::lower_bound(entries.begin(), entries.end(), num,
                               [](const auto& e, std::uint32_t n) { return e.first < n; });
    entries.insert(at, {num, self});

    std::uint64_t max2 = 0, max3 = 0;
    for (const auto& [n, e] : entries) {
        max2 = std::max(max2, e.field2);
        max3 = std::max<std::uint64_t>(max3, e.field3);
    }
    const int w2 = BytesFor(max2), w3 = BytesFor(max3), row = 1 + w2 + w3;
    Common::Bytes rows;
    rows.reserve(entries.size() * static_cast<std::size_t>(row));
    auto put = [&rows](std::uint64_t v, int width) {
        for (int k = width - 1; k >= 0; --k) rows.push_back(static_cast<Common::Byte>(v >> (8 * k)));
    };
    for (const auto& [n, e] : entries) {
        put(e.type, 1);
        put(e.field2, w2);
        put(e.field3, w3);
    }

    // Only the keys a trailer has a use for: others (private ones, damaged names) would be
    // parsed with the stream that every reader needs.
    auto dict = Dict::Create();
    for (const char* key : {"Root", "Info", "ID", "Encrypt", "Prev"})
        if (Obj* v = trailer.FindObj(key)) dict->Put(key, v);
    dict->PutName("Type", "XRef");
    dict->PutNumber("Size", size);
    Obj* widths = dict->PutArray("W");
    widths->PushBackNumber(1);
    widths->PushBackNumber(w2);
    widths->PushBackNumber(w3);
    bool whole = !entries.empty() && entries.front().first == 0 && entries.back().first + 1 == entries.size() &&
                 entries.size() == size;
    if (whole) {
        dict->Erase("Index");
    } else {
        Obj* index = dict->PutArray("Index");
        ForEachRun(entries, [&](std::size_t first, std::size_t count) {
            index->PushBackNumber(entries[first].first);
            index->PushBackNumber(static_cast<double>(count));
        });
    }
    dict->PutName("Filter", "FlateDecode");
    Obj* parms = dict->PutDict("DecodeParms");
    parms->PutNumber("Columns", row);
    parms->PutNumber("Predictor", 12);
    auto stream = FileStream::Create(FlateBytes(rows, row), std::move(dict));
    w.WriteIndirect(num, 0, *stream, false);
}

void WriteStartXRef(DocWriter& w, std::uint64_t offset)
{
    w.WriteText("startxref\r" + std::to_string(offset) + "\r%%EOF\n");
}

}  // namespace qvx::SDF
