#pragma once
// Decoded images kept across drawings, by what their decoding reads: the image and the
// default colour spaces in force. Across documents, images are known by their dictionary and
// data (by digest), so that two versions of a document drawn with one cache decode each
// image they share once; within one document (a page's own cache), by their objects, which
// costs no reading, and from their second drawing on, so that an image drawn once is freed
// as soon as it is drawn.

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "pdf/Resources.h"
#include "render/CairoApi.h"
#include "sdf/Obj.h"

namespace qvx::Render {

class ImageCache {
public:
    enum Sharing : std::uint8_t { e_across_documents, e_one_document };
    // max_bytes: decoded pixels kept at most (the default: a few pages of large scans).
    explicit ImageCache(std::uint64_t max_bytes = 512ull << 20, Sharing sharing = e_across_documents)
        : m_max_bytes(max_bytes), m_sharing(sharing) {}
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // The key of an image XObject drawn with these resources; empty when none can be made.
    std::string Key(SDF::Obj* image, const PDF::Resources& resources) const;
    // Whether an image was put under key and not kept (within one document, its first drawing).
    bool PutOnce(const std::string& key) const { return m_drawn.count(key) > 0; }
    // A new reference to the surface kept under key, or null.
    cairo_surface_t* Find(const std::string& key) const;
    // Keeps a reference to the surface, while the cache holds less than its cap (within one
    // document: when the key was put before).
    void Put(const std::string& key, cairo_surface_t* surface);

private:
    std::map<std::string, cairo_surface_t*> m_surfaces;
    std::set<std::string> m_drawn;   // within one document: keys put once, not kept
    std::uint64_t m_max_bytes;
    Sharing m_sharing;
    std::uint64_t m_bytes = 0;
};

}  // namespace qvx::Render
