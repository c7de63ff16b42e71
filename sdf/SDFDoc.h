#pragma once
// A PDF document at the object level. Objects are loaded lazily from the file on first
// use; handles (Obj*) stay valid while the document lives.
//
//     SDF::SDFDoc doc;
//     doc.GetCheckState().parser_level = 4;   // optional: PDF/A findings while parsing
//     doc.OpenFile("in.pdf");
//     Obj* pages = doc.GetRoot()->FindObj("Pages");
//
// Ownership: the document owns its table entries, their referents and the check state.
// AddObj takes ownership of the object it is given; everything else hands out borrowed
// pointers.

#include <memory>
#include <string>
#include <vector>

#include "common/Buffer.h"
#include "sdf/CheckState.h"
#include "sdf/Obj.h"

namespace qvx::Filters {
class Filter;
}

namespace qvx::SDF {

class SDFDocImpl;
class SecurityHandler;

class SDFDoc {
public:
    // A new, empty document in memory (its trailer is an empty dictionary).
    SDFDoc();
    ~SDFDoc();
    SDFDoc(const SDFDoc&) = delete;
    SDFDoc& operator=(const SDFDoc&) = delete;

    // Opening a fresh document: a path is memory-mapped (read whole when it cannot be
    // mapped). Throws when neither the cross-reference data nor a rebuild gives a table.
    void OpenFile(const std::string& path);
    void OpenBuffer(Common::Bytes data);
    void Open(std::unique_ptr<Filters::Filter> file);

    // Entry n; entry 0 (which resolves to the trailer) when n is past the table, the
    // shared null when slot n is empty.
    Obj* GetObj(std::uint32_t n) const;
    std::size_t XRefSize() const;
    Obj* GetTrailer() const;
    // Throws "Doc root not found" when the trailer has no Root.
    Obj* GetRoot() const;

    // Takes obj and makes it an indirect object (a re-used free number or a new one).
    Obj* AddObj(std::unique_ptr<Obj> obj);
    Obj* CreateIndirectDict();
    Obj* CreateIndirectArray();
    Obj* CreateIndirectName(std::string_view name);
    Obj* CreateIndirectNumber(double v);
    Obj* CreateIndirectString(Common::ByteView bytes);
    Obj* CreateIndirectNull();
    // dict may be null; its Length is set to the data size.
    Obj* CreateIndirectStream(Common::Bytes data, std::unique_ptr<Obj> dict = nullptr);
    // Exchanges the referents of two in-use indirect objects (numbers stay put).
    void Swap(Obj* a, Obj* b);
    // Deep copy of an object of another document; the indirect objects it reaches are
    // copied as new indirect objects of this one (each once).
    Obj* ImportObj(Obj* obj);
    // The same for several roots sharing one copy map; objects in skip (of the other
    // document) are not followed and their references become null.
    std::vector<Obj*> ImportObjs(const std::vector<Obj*>& objs, const std::vector<Obj*>& skip = {});

    // Save flags (a bit set).
    enum SaveOptions : std::uint32_t {
        e_incremental = 0x0001,            // append the changed objects to the original file
        e_prune_unused = 0x0002,           // full save without objects the trailer cannot reach
        e_linearize = 0x0010,              // full save in linearized layout
        e_classic_xref = 0x0020,           // no cross-reference stream, no object streams
        e_incremental_data_only = 0x8000,  // only the bytes of the incremental update
    };
    // Saves to a file: a full save goes to a temporary file beside path, renamed into place
    // when complete; an incremental save to the document's own file is appended to it.
    // header is the first line of a full save (empty: the document's own). Throws "Cannot
    // save to empty path", and wraps every other failure in the save error message.
    void SaveToPath(const std::string& path, std::uint32_t flags, std::string_view header = {});
    Common::Bytes SaveToBuffer(std::uint32_t flags, std::string_view header = {});
    // The handler the writer encrypts with (null: saved unencrypted).
    SecurityHandler* GetOutputSecurityHandler() const;
    void SetOutputSecurityHandler(std::shared_ptr<SecurityHandler> handler);
    // Writes every string as a hex string.
    void SetWriteStringsAsHex(bool b);

    bool HasRepairedXRef() const;
    bool IsFullSaveRequired() const;
    // The header as found, e.g. "%PDF-1.7" (empty when there was none).
    const std::string& GetHeader() const;
    // The version from the header ("1.7"), or empty.
    std::string GetVersion() const;

    // Entries marked modified since the last ClearModified, in marking order.
    const std::vector<std::uint32_t>& GetModified() const;
    void ClearModified();

    CheckState& GetCheckState();
    // The handler that decrypts what is read (null: unencrypted or not yet authorised).
    SecurityHandler* GetSecurityHandler() const;
    void SetSecurityHandler(std::unique_ptr<SecurityHandler> handler);
    // Unlocking (sdf/DocSecurity.h): true when the document is unencrypted or authorised,
    // false when authorisation failed (strict: throws "Document authorization failed.").
    // custom_data is null (no password) or a NUL-terminated password.
    bool InitSecurityHandler(const void* custom_data = nullptr, bool strict = false);
    bool InitStdSecurityHandler(std::string_view password, bool strict = false);
    // Saves without encryption from now on (conversion); reading still decrypts.
    void RemoveSecurity();

    SDFDocImpl& GetImpl() const { return *mp_impl; }

private:
    std::unique_ptr<SDFDocImpl> mp_impl;
};

}  // namespace qvx::SDF
