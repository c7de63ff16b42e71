#include "sdf/SaveObjects.h"

#include "common/Exception.h"
#include "sdf/CompressObjects.h"
#include "sdf/DocWriter.h"
#include "sdf/ObjWalk.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

static bool IsFileStructure(Obj& referent)
{
    if (!referent.IsStream()) return false;
    Obj* type = referent.FindObj("Type");
    return type && type->IsName() && (type->GetName() == "ObjStm" || type->GetName() == "XRef");
}

std::vector<bool> ObjectsToWrite(SDFDocImpl& doc, Obj& trailer, bool prune)
{
    const std::size_t size = doc.XRefSize();
    if (prune) MarkReachable(doc, trailer);
    std::vector<bool> write(size, false);
    for (std::uint32_t n = 1; n < size; ++n) {
        Indirect* e = doc.GetEntry(n);
        if (!e || e->IsFree() || (prune && !e->IsMarked()) || n == doc.GetEncryptObjNum()) continue;
        try {
            if (IsFileStructure(*e->Resolve())) continue;
        } catch (const Common::Exception&) {
            // Written (and reported) like any object that cannot be loaded.
        }
        write[n] = true;
    }
    return write;
}

Obj& LoadForWrite(Indirect& entry)
{
    try {
        return *entry.Resolve();
    } catch (const Common::Exception&) {
        if (entry.EntryKind() == Indirect::e_compressed)
            QVX_THROW("obj_stm", "Error loading compressed object stream. ");
        QVX_THROW("obj", "Error loading the object. ");
    }
}

bool FitsObjectStream(Indirect& entry) { return entry.GetGenNum() == 0 && !LoadForWrite(entry).IsStream(); }

XRefEntry FreeEntry(const Indirect* entry)
{
    if (!entry) return {0, 0, 0};
    if (entry->IsFree()) return {0, 0, entry->GetField3() & 0xFFFF};
    // An object left out: its number is free for the next generation.
    return {0, 0, std::min<std::uint32_t>(entry->GetGenNum() + 1u, 65535)};
}

namespace {

// Writes the listed objects, those of streams inside object streams numbered first_stm on.
void WriteObjects(DocWriter& w, SDFDocImpl& doc, const std::vector<std::uint32_t>& listed,
                  const std::vector<bool>& write, const std::vector<std::vector<std::uint32_t>>& streams,
                  std::uint32_t first_stm, bool hex_strings, XRefEntries& entries)
{
    struct Place { std::uint32_t stm = 0, index = 0; };
    std::vector<Place> placed(doc.XRefSize());
    for (std::size_t k = 0; k < streams.size(); ++k)
        for (std::size_t i = 0; i < streams[k].size(); ++i)
            placed[streams[k][i]] = {first_stm + static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(i)};

    entries.reserve(listed.size() + streams.size() + 1);
    for (std::uint32_t n : listed) {
        Indirect* e = doc.GetEntry(n);
        if (!e || n >= write.size() || !write[n]) {
            entries.push_back({n, FreeEntry(e)});
            continue;
        }
        Obj& body = LoadForWrite(*e);
        if (placed[n].stm != 0) {
            entries.push_back({n, {2, placed[n].stm, placed[n].index}});
            continue;
        }
        entries.push_back({n, {1, w.Offset(), e->GetGenNum()}});
        w.WriteIndirect(n, e->GetGenNum(), body);
    }
    for (std::size_t k = 0; k < streams.size(); ++k) {
        auto num = first_stm + static_cast<std::uint32_t>(k);
        entries.push_back({num, {1, w.Offset(), 0}});
        WriteObjectStream(w, doc, num, streams[k], hex_strings);
    }
}

}  // namespace

std::uint64_t WriteBody(DocWriter& w, SDFDocImpl& doc, const std::vector<std::uint32_t>& listed,
                        const std::vector<bool>& write, bool compress, Obj& trailer, SecurityHandler* handler, bool hex)
{
    const auto size = static_cast<std::uint32_t>(doc.XRefSize());
    std::vector<std::vector<std::uint32_t>> streams;
    if (compress) {
        std::vector<bool> eligible(size, false);
        for (std::uint32_t n : listed) eligible[n] = n < write.size() && write[n] && FitsObjectStream(*doc.GetEntry(n));
        streams = CompressObjects(doc, eligible);
    }
    XRefEntries entries;
    w.SetOutput(handler, hex);
    WriteObjects(w, doc, listed, write, streams, size, hex || handler, entries);
    LinkFreeEntries(entries);
    w.SetOutput(nullptr, hex || handler);
    const std::uint64_t offset = w.Offset();
    if (compress) {
        auto num = size + static_cast<std::uint32_t>(streams.size());
        WriteXRefStream(w, std::move(entries), trailer, num, num + 1);
    } else {
        trailer.PutNumber("Size", size);
        WriteXRefTable(w, entries, trailer);
    }
    WriteStartXRef(w, offset);
    return offset;
}

}  // namespace qvx::SDF
