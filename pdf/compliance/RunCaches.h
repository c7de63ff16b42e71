#pragma once
// State that the passes of one compliance run share (the page tree now; font and colour
// caches of the page checks later). The driver creates it empty before the first pass and
// releases it after the last one, also when a pass throws.

#include <map>
#include <memory>
#include <typeindex>
#include <utility>

namespace qvx::PDF {

class RunCaches {
public:
    // The cache of type T, made from args on first use (later calls ignore them).
    template <class T, class... Args>
    T& Get(Args&&... args)
    {
        std::unique_ptr<Entry>& slot = m_caches[std::type_index(typeid(T))];
        if (!slot) slot = std::make_unique<Holder<T>>(std::forward<Args>(args)...);
        return static_cast<Holder<T>&>(*slot).value;
    }
    // Forgets the cache of type T, so that the next Get makes it anew.
    template <class T>
    void Drop()
    {
        m_caches.erase(std::type_index(typeid(T)));
    }
    bool Empty() const { return m_caches.empty(); }
    void Release() { m_caches.clear(); }

private:
    struct Entry {
        virtual ~Entry() = default;
    };
    template <class T>
    struct Holder final : Entry {
        template <class... Args>
        explicit Holder(Args&&... args) : value(std::forward<Args>(args)...)
        {
        }
        T value;
    };
    std::map<std::type_index, std::unique_ptr<Entry>> m_caches;
};

}  // namespace qvx::PDF
