// Saving: the entry points, the choice between a full save and an incremental update, and
// the full save.

#include <filesystem>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/AtomicFileSink.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/DocWriter.h"
#include "sdf/Linearizer.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SaveObjects.h"
#include "sdf/SaveTrailer.h"

namespace qvx::SDF {

namespace {

constexpr const char* kBinaryComment = "\r%\xE2\xE3\xCF\xD3\r\n";

bool IsRedacted(const SDFDocImpl& doc)
{
    Obj* trailer = doc.GetTrailer();
    if (!trailer->IsDict()) return false;
    if (trailer->FindObj("QVX_REDACTED")) return true;
    Obj* root = trailer->FindObj("Root");
    return root && root->IsDict() && root->FindObj("QVX_REDACTED");
}

}  // namespace

std::uint32_t SDFDocImpl::ConfirmIncremental(std::uint32_t flags) const
{
    const bool data_only = flags & SDFDoc::e_incremental_data_only;
    if (data_only) flags |= SDFDoc::e_incremental;
    const bool wanted = flags & SDFDoc::e_incremental;
    // A linearized file is rewritten whole, repaired or not.
    if (wanted && !(flags & SDFDoc::e_linearize) && HasRepairedXRef())
        QVX_THROW("!HasRepairedXRef()", "Can not perform an incremental save on a document with a repaired XRef "
                                        "table. See HasRepairedXRef()\n");
    // Changing the encryption of a file rewrites every string and stream.
    bool full = IsFullSaveRequired() || (flags & SDFDoc::e_linearize) ||
                GetOutputSecurityHandler() != GetSecurityHandler() || (flags & SDFDoc::e_prune_unused);
    if (wanted && full) {
        if (data_only) QVX_THROW("!full_save", "Full save required -- can't save incremental data only");
        return flags & ~std::uint32_t{SDFDoc::e_incremental};
    }
    if (wanted && IsRedacted(*this))
        QVX_THROW("!redacted", "Cannot perform an incremental save on a redacted file");
    return flags;
}

void SDFDocImpl::SaveToPath(const std::string& path, std::uint32_t flags, std::string_view header)
{
    if (path.empty()) QVX_THROW("!path.empty()", "Cannot save to empty path");
    try {
        std::uint32_t f = ConfirmIncremental(flags);
        if ((f & SDFDoc::e_incremental) && IsAttachedFile(path)) {
            if (f & SDFDoc::e_incremental_data_only)
                QVX_THROW("!same_file", "cannot save incremental data to the original file");
            SaveResult r = IncrementalUpdate(f);
            IncrementalSaveImpl(path, r);
            SaveDone(r);
            return;
        }
        Filters::AtomicFileSink sink(path);
        SaveResult r = WriteSave(sink, f, header);
        sink.Commit();
        SaveDone(r);
    } catch (const Common::Exception& e) {
        QVX_THROW(e.GetCondition(),
                  "An error occurred while trying to save the file.\n\tThe file might be locked, corrupt, "
                  "or unavailable.\nDetailed error:\n\t" + e.GetMessage());
    } catch (...) {
        QVX_THROW("no exception during the save", "An unknown exception encountered during the file save.");
    }
}

Common::Bytes SDFDocImpl::SaveToBuffer(std::uint32_t flags, std::string_view header)
{
    Common::Bytes bytes;
    SaveResult r;
    try {
        Filters::MemoryFilter sink;
        r = WriteSave(sink, flags, header);
        bytes = sink.Release();
    } catch (const Common::Exception& e) {
        QVX_THROW(e.GetCondition(),
                  "An error occurred while trying to save to memory buffer.\nDetailed error:\n\t" + e.GetMessage());
    } catch (...) {
        QVX_THROW("no exception during the save", "An unknown exception was encountered during the file save.");
    }
    if (bytes.size() > Common::Limits::kMaxSaveToMemory)
        QVX_THROW("size <= kMaxSaveToMemory", "File is too large to save to memory on a 32 bit system");
    SaveDone(r);
    return bytes;
}

void SDFDocImpl::SaveToStreamImpl(Filters::Filter& out, std::uint32_t flags, std::string_view header)
{
    SaveResult r = WriteSave(out, flags, header);
    SaveDone(r);
}

SaveResult SDFDocImpl::WriteSave(Filters::Filter& out, std::uint32_t flags, std::string_view header)
{
    std::uint32_t f = ConfirmIncremental(flags);
    if (!(f & SDFDoc::e_incremental)) return FullSave(out, f, header);
    SaveResult r = IncrementalUpdate(f);
    Filters::FilterWriter w(out);
    if (!(f & SDFDoc::e_incremental_data_only)) CopyOriginal(w);
    w.WriteBuffer(r.update);
    w.Flush();
    return r;
}

bool SDFDocImpl::IsAttachedFile(const std::string& path) const
{
    if (m_file_path.empty()) return false;
    std::error_code ec;
    return std::filesystem::equivalent(m_file_path, path, ec);
}

void SDFDocImpl::SaveDone(const SaveResult& result)
{
    m_last_xref = result.xref_offset;
    ClearModified();
    if (result.incremental) {
        m_updates.insert(m_updates.end(), result.update.begin(), result.update.end());
    } else {
        // The file now written is not the one attached, which the next update would follow.
        m_full_save_required = true;
    }
}

SaveResult SDFDocImpl::FullSave(Filters::Filter& out, std::uint32_t flags, std::string_view header)
{
    std::string first_line(header.empty() ? std::string_view(m_header) : header);
    if (first_line.empty()) first_line = "%PDF-1.7";
    Filters::FilterWriter fw(out);
    DocWriter w(fw, 0);
    w.WriteText(first_line + kBinaryComment);

    SecurityHandler* handler = GetOutputSecurityHandler();
    AddFileIDIfMissing(*this, handler != nullptr);
    RemoveUsageRights(*this);
    std::unique_ptr<Obj> trailer = WrittenTrailer(*this, handler);
    SaveResult result;
    std::optional<std::uint64_t> linearized;
    if (flags & SDFDoc::e_linearize) linearized = WriteLinearized(w, *this, *trailer, handler, m_hex_strings);
    if (linearized) {
        result.xref_offset = *linearized;
    } else {
        // Without pages there is no first page to lay out: a plain save without unused objects.
        if (flags & SDFDoc::e_linearize) flags |= SDFDoc::e_prune_unused;
        std::vector<bool> write = ObjectsToWrite(*this, *trailer, flags & SDFDoc::e_prune_unused);
        std::vector<std::uint32_t> listed(XRefSize());
        for (std::uint32_t n = 0; n < listed.size(); ++n) listed[n] = n;
        result.xref_offset = WriteBody(w, *this, listed, write, !(flags & SDFDoc::e_classic_xref), *trailer, handler,
                                       m_hex_strings);
    }
    w.Flush();
    fw.Flush();
    return result;
}

}  // namespace qvx::SDF
