#pragma once
// The registry of security handlers, keyed by the Encrypt dictionary's Filter name (and,
// for handlers that need it, its SubFilter). It is created once, under a mutex, with the
// standard handler under Standard and the engine's own handler under Standard with the
// sub-filter QVX_Custom.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "common/Buffer.h"

namespace qvx::SDF {

class Obj;
class SecurityHandler;

// What GetDocSecHdlrInfo reads from an Encrypt dictionary.
struct DocSecHdlrInfo {
    std::string filter;
    std::string sub_filter;
    int v = 0;
    int length = 40;  // bits
    int r = 0;
};

// Throws "Encrypt must be a dict." when encrypt is not a dictionary.
DocSecHdlrInfo GetDocSecHdlrInfo(const Obj& encrypt);

// Makes a handler for a document from its Encrypt dictionary and first ID string, and
// authorises it with custom_data: for the handlers registered here, null (no password) or
// a NUL-terminated password. Dictionary errors throw; a failed authorisation does not
// (the handler then denies e_doc_open).
using SecurityHandlerFactory =
    std::function<std::unique_ptr<SecurityHandler>(const Obj& encrypt, Common::ByteView id0, const void* custom_data)>;

class SecurityManager {
public:
    static SecurityManager& Instance();

    // Registers (or replaces) the handler for a filter, or for a filter with a sub-filter.
    void RegisterHandler(std::string filter, std::string sub_filter, SecurityHandlerFactory factory);
    // The handler for the pair, else the one for the filter alone. Throws "Requested
    // security handler was not found.".
    SecurityHandlerFactory Find(std::string_view filter, std::string_view sub_filter) const;

private:
    SecurityManager();

    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, SecurityHandlerFactory, std::less<>> m_handlers;
};

}  // namespace qvx::SDF
