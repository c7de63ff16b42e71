#include "common/SharedLibrary.h"

#include <dlfcn.h>

#include "common/Exception.h"

namespace qvx::Common {

SharedLibrary::SharedLibrary(std::initializer_list<const char*> names)
{
    std::string tried;
    for (const char* name : names) {
        mp_handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (mp_handle) {
            m_name = name;
            return;
        }
        tried += (tried.empty() ? "" : ", ") + std::string(name);
    }
    const char* why = dlerror();
    QVX_THROW("mp_handle != nullptr", "Cannot load the library " + tried + (why ? std::string(": ") + why : ""));
}

void* SharedLibrary::Symbol(const char* name) const
{
    void* address = dlsym(mp_handle, name);
    if (!address) QVX_THROW("address != nullptr", "The library " + m_name + " has no function " + name);
    return address;
}

}  // namespace qvx::Common
