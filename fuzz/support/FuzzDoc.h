#pragma once
// Objects of an in-memory document written from PDF text, for the fuzz targets that build
// a small document around their input.

#include <cstdint>
#include <memory>
#include <string>

#include "sdf/Objects.h"
#include "sdf/Parser.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

namespace qvx::Fuzz {

// Object n from PDF text (references n 0 R resolve in doc).
inline void Set(SDF::SDFDoc& doc, std::uint32_t n, const std::string& text)
{
    SDF::Parser p(Common::AsBytes(text), &doc.GetImpl());
    if (p.GetObj()) doc.GetImpl().GetEntry(n)->SetReferent(p.TakeAt(0));
}

// Object n as a stream with the dictionary text and data.
inline void SetStream(SDF::SDFDoc& doc, std::uint32_t n, const std::string& dict, Common::ByteView data)
{
    SDF::Parser p(Common::AsBytes(dict), &doc.GetImpl());
    if (!p.GetObj()) return;
    std::unique_ptr<SDF::Dict> d(static_cast<SDF::Dict*>(p.TakeAt(0).release()));
    doc.GetImpl().GetEntry(n)->SetReferent(SDF::FileStream::Create(Common::Bytes(data.begin(), data.end()), std::move(d)));
}

}  // namespace qvx::Fuzz
