// Copying objects from another document: references are followed and each indirect object
// reached becomes one new indirect object here, so shared and cyclic structures survive.
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "common/Exception.h"
#include "common/Limits.h"
#include "filters/FilterReader.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::SDF {

namespace {

class Importer {
public:
    Importer(SDFDocImpl& dst, const std::vector<Obj*>& skip) : m_dst(dst), m_skip(skip.begin(), skip.end()) {}

    // The entry standing for src here, created (and queued for copying) on first sight.
    Indirect* Map(Obj* src)
    {
        auto [it, fresh] = m_map.try_emplace(src, nullptr);
        if (fresh) {
            it->second = m_dst.AddObj(nullptr);
            m_queue.push_back(src);
        }
        return it->second;
    }

    void Drain()
    {
        while (!m_queue.empty()) {
            Obj* src = m_queue.front();
            m_queue.pop_front();
            std::unique_ptr<Obj> copy;
            try {
                copy = Copy(*src->Resolve(), 0);
            } catch (const Common::Exception&) {
                copy = Null::Create();  // an object the source cannot load reads as null
            }
            m_map[src]->SetReferent(std::move(copy));
        }
    }

    std::unique_ptr<Obj> Copy(const Obj& o, int depth)
    {
        if (depth >= Common::Limits::kMaxObjectNesting) QVX_THROW("depth < kMaxObjectNesting", "Exceeds maximum nesting level");
        switch (o.GetType()) {
        case Obj::e_array: {
            auto a = Array::Create();
            for (std::size_t i = 0; i < o.Size(); ++i) a->Append(Child(o.GetAt(i), depth));
            return a;
        }
        case Obj::e_dict: return CopyDict(o, depth);
        case Obj::e_stream: {
            auto raw = o.GetRawStream(true);
            Filters::FilterReader r(*raw);
            Common::Bytes data = r.ReadAll();
            auto dict = CopyDict(o, depth);
            auto s = FileStream::Create(std::move(data), std::move(dict));
            return s;
        }
        default: return o.Clone();
        }
    }

private:
    std::unique_ptr<Dict> CopyDict(const Obj& o, int depth)
    {
        std::vector<DictEntry> entries;
        entries.reserve(o.Size());
        for (DictIterator it = o.DictBegin(); it.HasNext(); ++it)
            entries.push_back({Name(it.KeyText()), Child(it.Value(), depth)});
        auto d = Dict::Create();
        d->Assign(std::move(entries));
        return d;
    }

    ObjSlot Child(Obj* c, int depth)
    {
        if (!c->IsIndirect()) return ObjSlot(Copy(*c, depth + 1));
        if (m_skip.count(c)) return ObjSlot(Null::Create());
        return ObjSlot::Borrow(Map(c));
    }

    SDFDocImpl& m_dst;
    std::unordered_set<Obj*> m_skip;
    std::unordered_map<Obj*, Indirect*> m_map;
    std::deque<Obj*> m_queue;
};

}  // namespace

std::vector<Obj*> SDFDoc::ImportObjs(const std::vector<Obj*>& objs, const std::vector<Obj*>& skip)
{
    Importer im(*mp_impl, skip);
    std::vector<Obj*> out;
    out.reserve(objs.size());
    for (Obj* o : objs) {
        if (!o) QVX_THROW("obj", "Obj can't be NULL (0)");
        if (o->GetDoc() == this) out.push_back(o);
        else if (o->IsIndirect()) out.push_back(im.Map(o));
        else out.push_back(mp_impl->AddObj(im.Copy(*o, 0)));
    }
    im.Drain();
    return out;
}

}  // namespace qvx::SDF
