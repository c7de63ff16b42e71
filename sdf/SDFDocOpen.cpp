// Opening a document: cross-reference data, the first sanity checks, and one rebuild of
// the table when either fails.
#include <optional>
#include <set>

#include "common/Exception.h"
#include "filters/MappedFile.h"
#include "filters/MemoryFilter.h"
#include "filters/StdFile.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/XRefParser.h"
#include "sdf/XRefRebuilder.h"

namespace qvx::SDF {

namespace {

// The trailer's Root must be a dictionary with a page tree whose first page can be
// reached; references past the table resolve to the trailer, which no page may be.
void CheckRootAndPages(SDFDocImpl& doc)
{
    Obj* trailer = doc.GetTrailer();
    Obj* root = trailer->IsDict() ? trailer->FindObj("Root") : nullptr;
    if (!root || !root->IsDict()) QVX_THROW("root && root->IsDict()", "Bad Root");
    Obj* node = root->FindObj("Pages");
    if (!node || !node->IsDict()) QVX_THROW("node && node->IsDict()", "Bad Root");
    std::set<const Obj*> seen;
    while (seen.insert(node->Resolve()).second) {
        Obj* kids = node->FindObj("Kids");
        if (!kids) {
            if (seen.size() == 1) QVX_THROW("Pages has Kids", "Invalid Page Tree");
            return;  // a page
        }
        if (!kids->IsArray()) QVX_THROW("kids->IsArray()", "Invalid Page Tree");
        for (std::size_t i = 0; i < kids->Size(); ++i)
            if (kids->GetAt(i)->Resolve() == trailer) QVX_THROW("kids->GetAt(i)->Resolve() != trailer", "Invalid Page Tree");
        if (kids->Size() == 0) return;
        node = kids->GetAt(0);
        if (!node->IsDict()) QVX_THROW("node->IsDict()", "Invalid Page Tree");
    }
    QVX_THROW("page tree without cycles", "Invalid Page Tree");
}

}  // namespace

void SDFDocImpl::Open(std::unique_ptr<Filters::Filter> file)
{
    AttachFile(std::move(file));
    SetLoader(std::make_unique<ObjParser>(*this));
    // Findings of objects read by the sanity checks are dropped when the table is rebuilt:
    // those objects may have been read at wrong offsets, and the rebuilt table's objects
    // are read (and checked) again.
    std::optional<ErrorStore> before_objects;
    try {
        XRefParser(*this).ParseImpl();
        before_objects = m_check.errors;
        // Without its security handler an encrypted file's object streams cannot be read,
        // so its page tree can only be checked once the handler is installed.
        if (!GetTrailer()->FindObj("Encrypt")) CheckRootAndPages(*this);
    } catch (const std::exception&) {
        if (before_objects) m_check.errors = std::move(*before_objects);
        ClearTable();
        if (HookLevel() >= 1) m_check.ReportAt(HookLevel(), e_PDFA11);
        XRefRebuilderImpl(*this).Rebuild();
        SetRepairedXRef();
        return;
    }
    m_full_save_required = false;
}

void SDFDoc::Open(std::unique_ptr<Filters::Filter> file) { mp_impl->Open(std::move(file)); }

void SDFDoc::OpenBuffer(Common::Bytes data) { Open(std::make_unique<Filters::MemoryFilter>(std::move(data))); }

void SDFDoc::OpenFile(const std::string& path)
{
    std::unique_ptr<Filters::Filter> file;
    try {
        // One chunk for the whole file, so the readers see one contiguous view.
        file = std::make_unique<Filters::MappedFile>(path, std::size_t{1} << 46);
    } catch (const Common::Exception&) {
        // Not mappable (a pipe, a special file): read it through the buffered file.
        file = std::make_unique<Filters::StdFile>(path, Filters::StdFile::e_read_mode);
    }
    Open(std::move(file));
}

}  // namespace qvx::SDF
