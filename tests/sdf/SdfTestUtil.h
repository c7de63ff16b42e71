#pragma once
// Helpers for the object-layer tests: object text, exception capture, Flate data.

#include <functional>
#include <string>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/FlateEncode.h"
#include "filters/MemoryFilter.h"
#include "sdf/Obj.h"

namespace qvx::Test {

// The PDF text Write produces for obj.
inline std::string Text(const SDF::Obj* obj)
{
    Filters::MemoryFilter sink;
    {
        Filters::FilterWriter w(sink);
        obj->Write(w);
    }
    return std::string(Common::AsChars(sink.Data()));
}

// The engine exception f throws, or one with the message "no exception".
inline Common::Exception Thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Common::Exception& e) {
        return e;
    }
    return Common::Exception("no exception", "", "", "", 0);
}

inline std::string Flate(std::string_view data)
{
    auto sink = std::make_unique<Filters::MemoryFilter>();
    auto* mem = sink.get();
    Filters::FlateEncode enc(std::move(sink));
    Filters::FilterWriter w(enc);
    w.WriteString(data);
    w.Finish();
    return std::string(Common::AsChars(mem->Data()));
}

inline std::string ReadAll(Filters::Filter& f)
{
    Filters::FilterReader r(f);
    Common::Bytes b = r.ReadAll();
    return std::string(b.begin(), b.end());
}

inline std::string Decoded(const SDF::Obj* stream) { return ReadAll(*stream->GetDecodedStream()); }

}  // namespace qvx::Test
