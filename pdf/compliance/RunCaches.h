#pragma once
// State that the passes of one compliance run share (the page list now; font and colour
// caches of the page checks later). The driver creates it empty before the first pass and
// releases it after the last one, also when a pass throws.

#include <map>
#include <memory>
#include <typeindex>

namespace qvx::PDF {

class RunCaches {
public:
    // The cache of type T (default-constructed on first use).
    template <class T>
    T& Get()
    {
        std::unique_ptr<Entry>& slot = m_caches[std::type_index(typeid(T))];
        if (!slot) slot = std::make_unique<Holder<T>>();
        return static_cast<Holder<T>&>(*slot).value;
    }
    bool Empty() const { return m_caches.empty(); }
    void Release() { m_caches.clear(); }

private:
    struct Entry {
        virtual ~Entry() = default;
    };
    template <class T>
    struct Holder final : Entry {
        T value;
    };
    std::map<std::type_index, std::unique_ptr<Entry>> m_caches;
};

}  // namespace qvx::PDF
