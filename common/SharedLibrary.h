#pragma once
// A library opened when a run first needs it. Drawing, font matching and font subsetting
// serve conversion only; mapping their libraries (and the dozens they pull in) at start-up
// would cost every short validation run more than the validation itself.

#include <initializer_list>
#include <string>

namespace qvx::Common {

class SharedLibrary {
public:
    // Opens the first of names that loads; throws Common::Exception naming them when none
    // does. The library stays loaded for the life of the process.
    explicit SharedLibrary(std::initializer_list<const char*> names);

    // The address of the symbol; throws Common::Exception when the library lacks it.
    void* Symbol(const char* name) const;

private:
    void* mp_handle = nullptr;
    std::string m_name;
};

}  // namespace qvx::Common
