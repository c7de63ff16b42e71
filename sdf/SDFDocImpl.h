#pragma once
// The document: object table, file, trailer, security handler and check state. SDFDoc is
// its public face; the parser classes work on this class directly.
//
// The table (m_xref) is indexed by object number. Entry 0 heads the free list (its offset
// field is the first free number) and holds the trailer as its referent. Slots may be
// empty. The table never shrinks while the document is open.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/Buffer.h"
#include "sdf/CheckState.h"
#include "sdf/Indirect.h"
#include "sdf/SaveResult.h"

namespace qvx::Filters {
class Filter;
}

namespace qvx::SDF {

class SDFDoc;
class Null;
class ObjLoader;
struct ObjStmData;
class SecurityHandler;

class SDFDocImpl {
public:
    // A new document in memory: entry 0 with an empty trailer.
    explicit SDFDocImpl(SDFDoc& facade);
    ~SDFDocImpl();
    SDFDocImpl(const SDFDocImpl&) = delete;
    SDFDocImpl& operator=(const SDFDocImpl&) = delete;

    SDFDoc& Facade() const { return *mp_facade; }

    // Reads the file's header and cross-reference data, rebuilding the table when that or
    // the first sanity checks fail. The check state's parser level must be set before.
    void Open(std::unique_ptr<Filters::Filter> file);

    // Entry n; entry 0 (which resolves to the trailer) when n is past the table; the shared
    // null when slot n is empty. Throws "Corrupt PDF" on an empty table.
    Obj* GetObj(std::uint32_t n) const;
    // Entry n, or null when the slot is empty or past the table.
    Indirect* GetEntry(std::uint32_t n) const { return n < m_xref.size() ? m_xref[n].get() : nullptr; }
    std::size_t XRefSize() const { return m_xref.size(); }

    // Takes obj (null: a null object) as the referent of a re-used free entry or a new one.
    // obj must have no owner ("The object belongs to a different document").
    Indirect* AddObj(std::unique_ptr<Obj> obj);
    // Turns an in-use entry back into a free one, linked at the head of the free list.
    void FreeObj(std::uint32_t n);
    void Swap(Obj* a, Obj* b);

    Obj* GetTrailer() const;
    // The trailer's Root; throws "Doc root not found" without one.
    Obj* GetRoot() const;

    // Loads an entry's referent (under the mutex).
    Obj* Load(Indirect& entry);
    Null* SharedNull() const { return mp_null.get(); }

    // Table building for the readers.
    // Grows the table so that n is a valid index (capacity n + 1024, size n + 1).
    void Grow(std::uint32_t n);
    // Creates or redefines entry n.
    Indirect* SetEntry(std::uint32_t n, Indirect::EntryType type, std::uint64_t offset, std::uint32_t gen);
    // Drops every entry, the trailer and the security handlers (before a rebuild).
    void ClearTable();
    // Makes trailer the referent of entry 0 (a free entry, generation 65535).
    void SetTrailer(std::unique_ptr<Obj> trailer);

    // Makes file the document's file (read whole into memory unless it already is memory
    // or a mapping of the whole file in one chunk, so the readers work on one contiguous
    // view).
    void AttachFile(std::unique_ptr<Filters::Filter> file);
    Filters::Filter* GetFile() const { return mp_file.get(); }
    // The path of the file the document was opened from (empty for a buffer).
    const std::string& GetFilePath() const { return m_file_path; }
    std::uint64_t GetFileSize() const { return m_file_size; }
    // The whole file as bytes when its source is contiguous (memory or mapped), else empty.
    Common::ByteView GetFileView() const { return m_file_view; }
    // An independent reader over file bytes [offset, offset + length), clipped to the file.
    std::unique_ptr<Filters::Filter> OpenRange(std::uint64_t offset, std::uint64_t length) const;
    // The reader that loads entries from the file (none for a document made in memory).
    ObjLoader* GetLoader() const { return mp_loader.get(); }
    void SetLoader(std::unique_ptr<ObjLoader> loader);

    // Header values kept for the version query and the writer.
    const std::string& GetHeader() const { return m_header; }
    void SetHeader(std::string text, std::uint64_t offset);
    std::uint64_t GetHeaderOffset() const { return m_header_offset; }
    std::uint32_t GetFirstObjNum() const { return m_first_obj_num; }
    void SetFirstObjNum(std::uint32_t n) { m_first_obj_num = n; }

    // Writer state. The offset of the last cross-reference section read or written (the next
    // incremental update's Prev), and how many file bytes that update follows (the file as
    // loaded plus the updates saved since).
    std::uint64_t GetLastXRefOffset() const { return m_last_xref; }
    void SetLastXRefOffset(std::uint64_t offset) { m_last_xref = offset; }
    std::uint64_t GetUpdateBase() const { return m_file_size + m_updates.size(); }

    // Saving (SDFDocImplSave.cpp, IncrementalSaveData.cpp); flags are SDFDoc::SaveOptions.
    // header is the first line of a full save; empty for the document's own.
    void SaveToPath(const std::string& path, std::uint32_t flags, std::string_view header = {});
    Common::Bytes SaveToBuffer(std::uint32_t flags, std::string_view header = {});
    // The common writer: a full save or an incremental update (the update alone, or after
    // the original bytes when the update is not data-only) written to out.
    void SaveToStreamImpl(Filters::Filter& out, std::uint32_t flags, std::string_view header);
    // The flags the save really uses: e_incremental cleared when a full save is needed.
    // Throws when the incremental save that was asked for is impossible.
    std::uint32_t ConfirmIncremental(std::uint32_t flags) const;

    // The handler the writer encrypts with; none when the document is saved unencrypted.
    SecurityHandler* GetOutputSecurityHandler() const { return mp_output_security.get(); }
    void SetOutputSecurityHandler(std::shared_ptr<SecurityHandler> handler) { mp_output_security = std::move(handler); }
    // Writes every string as a hex string.
    bool GetWriteStringsAsHex() const { return m_hex_strings; }
    void SetWriteStringsAsHex(bool b) { m_hex_strings = b; }

    bool HasRepairedXRef() const { return m_repaired; }
    void SetRepairedXRef() { m_repaired = m_full_save_required = true; }
    bool IsFullSaveRequired() const { return m_full_save_required; }
    void SetFullSaveRequired(bool b) { m_full_save_required = b; }
    bool HasXRefStream() const { return m_has_xref_stream; }
    void SetHasXRefStream() { m_has_xref_stream = true; }
    // While the cross-reference data is read, placeholders resolve to null without loading.
    bool IsLoadingXRef() const { return m_loading_xref; }
    void SetLoadingXRef(bool b) { m_loading_xref = b; }

    CheckState& GetCheckState() { return m_check; }
    // The parser level when its hooks are on (1..12), else 0.
    std::int32_t HookLevel() const;

    SecurityHandler* GetSecurityHandler() const { return mp_security.get(); }
    // Installs (or removes) the handler that decrypts what is read. Unmodified objects
    // loaded so far are dropped so that they are read again with decryption; call it
    // before handing out objects.
    void SetSecurityHandler(std::shared_ptr<SecurityHandler> handler);
    // How the handler was last set up, so that a rebuild of the table can do it again.
    struct SecurityInit {
        enum Kind { e_none, e_custom_data, e_password } kind = e_none;
        const void* custom_data = nullptr;
        std::string password;
    };
    SecurityInit& GetSecurityInit() { return m_security_init; }
    // Object streams the rebuilder found (number, header offset), registered again once a
    // security handler can decrypt them.
    std::vector<std::pair<std::uint32_t, std::size_t>>& RebuiltObjStms() { return m_rebuilt_objstms; }
    // The Encrypt dictionary's object number (0 when direct or absent): never decrypted.
    std::uint32_t GetEncryptObjNum() const { return m_encrypt_num; }
    void SetEncryptObjNum(std::uint32_t n) { m_encrypt_num = n; }

    // Modified entries, in the order they were first marked since the last clear.
    void NoteModified(Indirect& entry);
    const std::vector<std::uint32_t>& GetModified() const { return m_modified; }
    void ClearModified();

    std::recursive_mutex& Mutex() const { return m_mutex; }

    // Object stream stm_num decoded; the last few used are kept.
    std::shared_ptr<const ObjStmData> GetObjStm(std::uint32_t stm_num);

private:
    // One save written to out; SaveDone records it once the bytes are safely stored.
    SaveResult WriteSave(Filters::Filter& out, std::uint32_t flags, std::string_view header);
    SaveResult FullSave(Filters::Filter& out, std::uint32_t flags, std::string_view header);
    // The bytes of an incremental update.
    SaveResult IncrementalUpdate(std::uint32_t flags);
    // Appends an update to the document's own file at path.
    void IncrementalSaveImpl(const std::string& path, const SaveResult& update);
    // The bytes an update follows: the file as loaded and the updates saved since.
    void CopyOriginal(Filters::FilterWriter& w) const;
    bool IsAttachedFile(const std::string& path) const;
    void SaveDone(const SaveResult& result);

    SDFDoc* mp_facade;
    std::vector<std::unique_ptr<Indirect>> m_xref;
    std::unique_ptr<Null> mp_null;
    mutable std::recursive_mutex m_mutex;
    std::vector<const Indirect*> m_loading;  // entries being loaded (guards re-entry)

    std::unique_ptr<Filters::Filter> mp_file;
    std::string m_file_path;
    std::uint64_t m_file_size = 0;
    Common::ByteView m_file_view;
    std::unique_ptr<ObjLoader> mp_loader;
    std::shared_ptr<SecurityHandler> mp_security;
    std::shared_ptr<SecurityHandler> mp_output_security;
    SecurityInit m_security_init;
    std::vector<std::pair<std::uint32_t, std::size_t>> m_rebuilt_objstms;
    std::uint32_t m_encrypt_num = 0;

    std::string m_header;
    std::uint64_t m_header_offset = 0;
    std::uint32_t m_first_obj_num = 0;
    std::uint64_t m_last_xref = 0;
    Common::Bytes m_updates;
    bool m_hex_strings = false;
    bool m_repaired = false;
    bool m_full_save_required = true;
    bool m_has_xref_stream = false;
    bool m_loading_xref = false;

    CheckState m_check;
    std::vector<std::uint32_t> m_modified;
    std::vector<std::pair<std::uint32_t, std::shared_ptr<const ObjStmData>>> m_objstm_cache;
};

}  // namespace qvx::SDF
