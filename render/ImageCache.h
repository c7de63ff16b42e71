#pragma once
// Decoded images kept across drawings, by what their decoding reads: the image's dictionary
// and data (by digest) and the default colour spaces in force. Two versions of a document
// drawn with one cache decode each image they share once.

#include <cstdint>
#include <map>
#include <string>

#include "pdf/Resources.h"
#include "render/CairoApi.h"
#include "sdf/Obj.h"

namespace qvx::Render {

class ImageCache {
public:
    // max_bytes: decoded pixels kept at most (the default: a few pages of large scans).
    explicit ImageCache(std::uint64_t max_bytes = 512ull << 20) : m_max_bytes(max_bytes) {}
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // The key of an image XObject drawn with these resources; empty when none can be made.
    static std::string Key(SDF::Obj* image, const PDF::Resources& resources);
    // A new reference to the surface kept under key, or null.
    cairo_surface_t* Find(const std::string& key) const;
    // Keeps a reference to the surface, while the cache holds less than its cap.
    void Put(const std::string& key, cairo_surface_t* surface);

private:
    std::map<std::string, cairo_surface_t*> m_surfaces;
    std::uint64_t m_max_bytes;
    std::uint64_t m_bytes = 0;
};

}  // namespace qvx::Render
