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

// Tables of a library's functions, one field fn_<name> per name of a list macro
// LIST(X) that applies X to each name: declare the fields with
// LIST(QVX_SHARED_LIBRARY_FIELD), and write the table's accessor as
// QVX_SHARED_LIBRARY_TABLE(Table, LIST, "libname.so.N", ...), which loads the library and
// every function on the first call. Code then reaches a function as Accessor().fn_<name>.
#define QVX_SHARED_LIBRARY_FIELD(name) decltype(&::name) fn_##name = nullptr;
#define QVX_SHARED_LIBRARY_LOAD(name) t.fn_##name = reinterpret_cast<decltype(t.fn_##name)>(lib.Symbol(#name));
#define QVX_SHARED_LIBRARY_TABLE(Table, LIST, ...)      \
    static const Table table = [] {                   \
        ::qvx::Common::SharedLibrary lib({__VA_ARGS__}); \
        Table t;                                      \
        LIST(QVX_SHARED_LIBRARY_LOAD)                 \
        return t;                                     \
    }();                                              \
    return table
