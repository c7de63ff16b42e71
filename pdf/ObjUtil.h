#pragma once
// Small typed reads of dictionary entries that tolerate damaged values: a wrong kind reads
// as absent rather than throwing, which is what page-level readers want.

#include <cstddef>
#include <string_view>

#include "sdf/Dict.h"
#include "sdf/Obj.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

// The resolved value of key, or null when absent or when dict is not a dictionary/stream.
SDF::Obj* FindIn(const SDF::Obj* dict, std::string_view key);
// The value of key when it is of that kind, else null.
SDF::Obj* FindDict(const SDF::Obj* dict, std::string_view key);
SDF::Obj* FindArray(const SDF::Obj* dict, std::string_view key);
SDF::Obj* FindStream(const SDF::Obj* dict, std::string_view key);
// A name value's text, or empty.
std::string_view FindName(const SDF::Obj* dict, std::string_view key);
// A number value, or def.
double FindNumber(const SDF::Obj* dict, std::string_view key, double def);
// The low 31 bits of a flags entry (Ff, Flags) written as an integer; 0 when it is missing or
// no number an integer can hold.
int FindFlags(const SDF::Obj* dict, std::string_view key);
// A boolean value, or def.
bool FindBool(const SDF::Obj* dict, std::string_view key, bool def);
// Whether obj is a name with that text.
bool IsNameOf(const SDF::Obj* obj, std::string_view text);
// obj resolved, or null for null.
SDF::Obj* Deref(SDF::Obj* obj);
// A number element of an array, or def.
double NumberAt(const SDF::Obj* array, std::size_t i, double def);

// Calls f with each resolved, non-null value of a dictionary (nothing for null), at most the
// first 100000: no real resource category or glyph table has more.
template <class F>
void ForEachEntry(SDF::Obj* dict, F f)
{
    if (!dict) return;
    std::size_t n = 0;
    for (auto it = dict->DictBegin(); it != dict->DictEnd() && n < 100000; ++it, ++n)
        if (SDF::Obj* v = Deref(it.Value())) f(v);
}

// Calls f with each object of the document's table that can be read, resolved and not null.
template <class F>
void ForEachObject(SDF::SDFDoc& doc, F f)
{
    for (std::size_t n = 1; n < doc.XRefSize(); ++n) {
        SDF::Obj* obj = nullptr;
        try {
            obj = Deref(doc.GetObj(static_cast<std::uint32_t>(n)));
        } catch (const std::exception&) {
            continue;  // an entry that cannot be read holds nothing
        }
        if (obj) f(obj);
    }
}

}  // namespace qvx::PDF
