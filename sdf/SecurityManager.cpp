#include "sdf/SecurityManager.h"

#include <cmath>

#include "common/Exception.h"
#include "sdf/Obj.h"
#include "sdf/QuandrilCustomSecurityHandler.h"
#include "sdf/StdSecurityHandler.h"

namespace qvx::SDF {

namespace {

std::string_view NameEntry(const Obj& dict, std::string_view key)
{
    const Obj* v = dict.FindObj(key);
    v = v ? v->Resolve() : nullptr;
    return v && v->IsName() ? v->GetName() : std::string_view();
}

int IntEntry(const Obj& dict, std::string_view key, int def)
{
    const Obj* v = dict.FindObj(key);
    v = v ? v->Resolve() : nullptr;
    if (!v || !v->IsNumber()) return def;
    double d = v->GetNumber();
    return d > -2147483648.0 && d < 2147483648.0 ? static_cast<int>(d) : def;
}

std::string_view Password(const void* custom_data)
{
    return custom_data ? static_cast<const char*>(custom_data) : "";
}

}  // namespace

DocSecHdlrInfo GetDocSecHdlrInfo(const Obj& encrypt)
{
    const Obj* e = encrypt.Resolve();
    if (!e->IsDict()) QVX_THROW("enc_dict.IsDict()", "Encrypt must be a dict.");
    DocSecHdlrInfo info;
    info.filter = NameEntry(*e, "Filter");
    info.sub_filter = NameEntry(*e, "SubFilter");
    info.v = IntEntry(*e, "V", 0);
    info.length = IntEntry(*e, "Length", 40);
    info.r = IntEntry(*e, "R", 0);
    return info;
}

SecurityManager::SecurityManager()
{
    m_handlers[{"Standard", ""}] = [](const Obj& encrypt, Common::ByteView id0, const void* custom_data) {
        std::unique_ptr<SecurityHandler> h;
        if (custom_data) h = std::make_unique<StdSecurityHandler>(encrypt, id0, Password(custom_data));
        else h = std::make_unique<DefaultSecurityHandler>(encrypt, id0);
        return h;
    };
    m_handlers[{"Standard", "QVX_Custom"}] = [](const Obj& encrypt, Common::ByteView, const void* custom_data) {
        return std::unique_ptr<SecurityHandler>(
            std::make_unique<QuandrilCustomSecurityHandler>(encrypt, Password(custom_data)));
    };
}

SecurityManager& SecurityManager::Instance()
{
    static std::mutex creation;
    static SecurityManager* instance = nullptr;
    std::lock_guard lock(creation);
    if (!instance) instance = new SecurityManager();  // lives as long as the process
    return *instance;
}

void SecurityManager::RegisterHandler(std::string filter, std::string sub_filter, SecurityHandlerFactory factory)
{
    std::lock_guard lock(m_mutex);
    m_handlers[{std::move(filter), std::move(sub_filter)}] = std::move(factory);
}

SecurityHandlerFactory SecurityManager::Find(std::string_view filter, std::string_view sub_filter) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_handlers.find(std::pair<std::string, std::string>(filter, sub_filter));
    if (it == m_handlers.end()) it = m_handlers.find(std::pair<std::string, std::string>(filter, ""));
    if (it == m_handlers.end()) QVX_THROW("hdlr", "Requested security handler was not found.");
    return it->second;
}

}  // namespace qvx::SDF
