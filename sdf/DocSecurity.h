#pragma once
// Unlocking an encrypted document and choosing how it is saved. The document keeps two
// handlers: the one that decrypts what is read (installed once the document is
// authorised, kept for as long as objects may still be loaded from the file) and the one
// the writer encrypts with (the same handler after authorisation; none once security is
// removed; a new one to save with other passwords).

#include <memory>
#include <string_view>

#include "common/Buffer.h"

namespace qvx::SDF {

class Obj;
class SDFDoc;
class SDFDocImpl;
class SecurityHandler;
class StdSecurityHandler;

// Reads the trailer's Encrypt dictionary, makes its handler from the registry with
// custom_data (null: no password) and installs it when it grants e_doc_open. Returns true
// for an unencrypted or authorised document, false when authorisation failed (with strict,
// throws "Document authorization failed." instead). Throws "Encrypt must be a dict.",
// "Requested security handler was not found." and the handler's dictionary errors.
bool InitSecurityHandler(SDFDoc& doc, const void* custom_data = nullptr, bool strict = false);

// The same with the standard handler and a password. Throws "Not a standard security
// handler. The custom filter needs to be registered." when Filter is not Standard.
bool InitStdSecurityHandler(SDFDoc& doc, std::string_view password, bool strict = false);

// The shared tail: installs handler as the document's input and output handler when it
// grants e_doc_open; otherwise false, or with strict "Document authorization failed.".
bool InitStdSecurityHandlerInternal(SDFDocImpl& doc, std::unique_ptr<SecurityHandler> handler, bool strict);

// After a rebuild of the table: sets the handler up again as it was last set up (without
// a password when it never was). Quiet: on any failure the document has no handler.
void ReinitSecurityHandler(SDFDocImpl& doc);

// From now on the document is saved without encryption: Encrypt leaves the trailer and
// the output handler is dropped. Objects still loaded from the file are decrypted.
void RemoveSecurity(SDFDoc& doc);

// Saves the document encrypted with handler from now on: gives the trailer an ID when it
// has none, prepares the handler for the ID's first string and makes it the output handler.
void EncryptOnSave(SDFDoc& doc, std::unique_ptr<StdSecurityHandler> handler);

// The first string of a trailer's ID; empty when there is none.
Common::Bytes FirstID(const Obj& trailer);

}  // namespace qvx::SDF
