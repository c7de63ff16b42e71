#include "pdf/ObjUtil.h"

#include <algorithm>
#include <cmath>

#include "pdf/Geometry.h"

namespace qvx::PDF {

using SDF::Obj;

Obj* Deref(Obj* obj)
{
    if (!obj) return nullptr;
    try {
        Obj* r = obj->Resolve();
        return r && !r->IsNull() ? r : nullptr;
    } catch (const std::exception&) {
        return nullptr;  // an entry that cannot be loaded reads as absent
    }
}

Obj* FindIn(const Obj* dict, std::string_view key)
{
    if (!dict) return nullptr;
    Obj::Type t = dict->GetType();
    if (t != Obj::e_dict && t != Obj::e_stream) return nullptr;
    return Deref(dict->FindObj(key));
}

Obj* FindDict(const Obj* dict, std::string_view key)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsDict() ? v : nullptr;
}

Obj* FindArray(const Obj* dict, std::string_view key)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsArray() ? v : nullptr;
}

Obj* FindStream(const Obj* dict, std::string_view key)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsStream() ? v : nullptr;
}

std::string_view FindName(const Obj* dict, std::string_view key)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsName() ? v->GetName() : std::string_view();
}

double FindNumber(const Obj* dict, std::string_view key, double def)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsNumber() ? v->GetNumber() : def;
}

int FindFlags(const Obj* dict, std::string_view key)
{
    const double v = FindNumber(dict, key, 0);
    if (!(std::abs(v) < 9.2e18)) return 0;
    return static_cast<int>(static_cast<long long>(v) & 0x7FFFFFFF);
}

bool FindBool(const Obj* dict, std::string_view key, bool def)
{
    Obj* v = FindIn(dict, key);
    return v && v->IsBool() ? v->GetBool() : def;
}

bool IsNameOf(const Obj* obj, std::string_view text)
{
    return obj && obj->IsName() && obj->GetName() == text;
}

double NumberAt(const Obj* array, std::size_t i, double def)
{
    if (!array || !array->IsArray() || i >= array->Size()) return def;
    Obj* v = Deref(array->GetAt(i));
    return v && v->IsNumber() ? v->GetNumber() : def;
}

namespace {

// An array of exactly n numbers.
bool ReadNumbers(const Obj* obj, std::size_t n, double* v)
{
    if (!obj) return false;
    const Obj* a = obj->Resolve();
    if (!a->IsArray() || a->Size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        Obj* num = Deref(a->GetAt(i));
        if (!num || !num->IsNumber()) return false;
        v[i] = num->GetNumber();
    }
    return true;
}

}  // namespace

Rect Transformed(const Rect& r, const Matrix& m)
{
    double xs[4] = {r.x1, r.x2, r.x1, r.x2}, ys[4] = {r.y1, r.y1, r.y2, r.y2};
    Rect out{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < 4; ++i) {
        m.Apply(xs[i], ys[i]);
        out = {std::min(out.x1, xs[i]), std::min(out.y1, ys[i]), std::max(out.x2, xs[i]), std::max(out.y2, ys[i])};
    }
    return out;
}

bool ReadRect(const Obj* obj, Rect& out)
{
    double v[4];
    if (!ReadNumbers(obj, 4, v)) return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

bool ReadMatrix(const Obj* obj, Matrix& out)
{
    double v[6];
    if (!ReadNumbers(obj, 6, v)) return false;
    out = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return true;
}

}  // namespace qvx::PDF
