// Incremental updates: the changed objects, a cross-reference section for them and a
// trailer whose Prev names the previous section, appended after the original bytes.

#include <algorithm>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "filters/StdFile.h"
#include "sdf/DocWriter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SaveObjects.h"
#include "sdf/SaveTrailer.h"

namespace qvx::SDF {

SaveResult SDFDocImpl::IncrementalUpdate(std::uint32_t)
{
    SaveResult result;
    result.incremental = true;
    const auto size = static_cast<std::uint32_t>(XRefSize());

    SecurityHandler* handler = GetOutputSecurityHandler();
    AddFileIDIfMissing(*this, handler != nullptr);
    std::unique_ptr<Obj> trailer = WrittenTrailer(*this, handler);
    trailer->PutNumber("Prev", static_cast<double>(m_last_xref));

    std::vector<std::uint32_t> listed;
    for (std::uint32_t n : m_modified)
        if (n > 0 && n < size) listed.push_back(n);
    std::sort(listed.begin(), listed.end());
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    std::vector<bool> write(size, false);
    bool any_free = false;
    for (std::uint32_t n : listed) {
        Indirect* e = GetEntry(n);
        if (!e) QVX_THROW("entry", "NULL XRef entry");
        write[n] = !e->IsFree();
        any_free = any_free || e->IsFree();
    }
    // Freed objects change the free list, which starts at entry 0.
    if (any_free) listed.insert(listed.begin(), 0);

    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter fw(sink);
        std::uint64_t base = GetUpdateBase();
        DocWriter w(fw, static_cast<std::int64_t>(base) - static_cast<std::int64_t>(m_header_offset));
        // The update starts on a line of its own.
        if (base > 0 && base <= m_file_view.size() && m_updates.empty()) {
            Common::Byte last = m_file_view[base - 1];
            if (last != '\n' && last != '\r') w.WriteText("\n");
        }
        result.xref_offset = WriteBody(w, *this, listed, write, HasXRefStream(), *trailer, handler, m_hex_strings);
    }
    result.update = sink.Release();
    return result;
}

void SDFDocImpl::CopyOriginal(Filters::FilterWriter& w) const
{
    if (!mp_file) QVX_THROW("mp_file", "Unable to save using MultipleFilterAdaptor");
    w.WriteBuffer(m_file_view);
    w.WriteBuffer(m_updates);
}

void SDFDocImpl::IncrementalSaveImpl(const std::string& path, const SaveResult& update)
{
    const auto base = static_cast<std::int64_t>(GetUpdateBase());
    Filters::StdFile file(path, Filters::StdFile::e_append_mode);
    // Never pad a file that is shorter than the bytes the update follows.
    if (file.FileSize() < base) QVX_THROW("size == expected", "File is not the expected size: will not write");
    file.Truncate(base);
    if (file.FileSize() != base) QVX_THROW("size == expected", "Failed to truncate file -- does something hold a lock?");
    file.Seek(0, Filters::Filter::e_end);
    if (file.Tell() != base) QVX_THROW("pos == expected", "File is not the expected size: will not write");
    try {
        Filters::FilterWriter w(file);
        w.WriteBuffer(update.update);
        w.Flush();
    } catch (...) {
        // Leave the file as it was before the update.
        file.Truncate(base);
        throw;
    }
}

}  // namespace qvx::SDF
