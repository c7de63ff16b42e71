// Decoded images kept by the cache: a page's own cache (one document) knows images by their
// objects and keeps one from its second drawing on, so that an image drawn once is not held
// to the end of the page; a cache shared across documents knows them by their content and
// keeps them from the first drawing.

#include <gtest/gtest.h>

#include <string>

#include "pdf/Resources.h"
#include "render/CairoApi.h"
#include "render/ImageCache.h"
#include "tests/render/RenderTestDoc.h"

using namespace qvx;
using Test::RenderDoc;

namespace {

// A document with two image objects of the same dictionary and data.
struct TwinImages {
    RenderDoc d;
    SDF::Obj* first = nullptr;
    SDF::Obj* second = nullptr;
    PDF::Resources resources;

    TwinImages()
    {
        const std::string dict = "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8";
        int a = d.b.AddStream(dict, std::string(1, '\x80'));
        int b = d.b.AddStream(dict, std::string(1, '\x80'));
        d.Draw();
        first = d.doc->GetObj(static_cast<std::uint32_t>(a));
        second = d.doc->GetObj(static_cast<std::uint32_t>(b));
    }
};

// Whether the cache holds a surface under key.
bool Holds(const Render::ImageCache& cache, const std::string& key)
{
    cairo_surface_t* s = cache.Find(key);
    if (s) cairo_surface_destroy(s);
    return s != nullptr;
}

}  // namespace

TEST(ImageCache, PageCacheKeepsAnImageFromItsSecondDrawing)
{
    TwinImages t;
    Render::ImageCache cache(1 << 20, Render::ImageCache::e_one_document);
    std::string key = cache.Key(t.first, t.resources);
    ASSERT_FALSE(key.empty());
    EXPECT_NE(key, cache.Key(t.second, t.resources));  // two objects, two images to this cache
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cache.Put(key, s);
    EXPECT_FALSE(Holds(cache, key));
    cache.Put(key, s);
    EXPECT_TRUE(Holds(cache, key));
    cairo_surface_destroy(s);
}

TEST(ImageCache, SharedCacheKeepsAnImageFromItsFirstDrawing)
{
    TwinImages t;
    Render::ImageCache cache(1 << 20);
    std::string key = cache.Key(t.first, t.resources);
    ASSERT_FALSE(key.empty());
    EXPECT_EQ(key, cache.Key(t.second, t.resources));  // same dictionary and data
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cache.Put(key, s);
    EXPECT_TRUE(Holds(cache, key));
    cairo_surface_destroy(s);
}
