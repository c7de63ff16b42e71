#include "render/ImageCache.h"

#include "pdf/ObjUtil.h"
#include "render/Fingerprint.h"

namespace qvx::Render {

ImageCache::~ImageCache()
{
    for (auto& [key, surface] : m_surfaces) cairo_surface_destroy(surface);
}

std::string ImageCache::Key(SDF::Obj* image, const PDF::Resources& resources) const
{
    // A device space named by the image draws through the resources' default for it.
    SDF::Obj* space = PDF::Deref(PDF::FindIn(image, "ColorSpace"));
    bool device = space && space->IsName() && space->GetName().starts_with("Device");
    SDF::Obj* default_space =
        device ? PDF::FindIn(resources.Category("ColorSpace"), "Default" + std::string(space->GetName().substr(6))) : nullptr;
    if (m_sharing == e_one_document) {
        // Objects of an open document stay where they are.
        auto address = [](const SDF::Obj* o) { return std::to_string(reinterpret_cast<std::uintptr_t>(o)); };
        return address(PDF::Deref(image)) + ' ' + address(PDF::Deref(default_space));
    }
    Fingerprint f(nullptr);
    if (!f.Add(image) || (device && !f.Add(default_space))) return {};
    return f.Text();
}

cairo_surface_t* ImageCache::Find(const std::string& key) const
{
    auto it = m_surfaces.find(key);
    return it == m_surfaces.end() ? nullptr : cairo_surface_reference(it->second);
}

void ImageCache::Put(const std::string& key, cairo_surface_t* surface)
{
    std::uint64_t bytes = static_cast<std::uint64_t>(cairo_image_surface_get_stride(surface)) *
                          static_cast<std::uint64_t>(cairo_image_surface_get_height(surface));
    if (m_bytes + bytes > m_max_bytes || m_surfaces.count(key)) return;
    if (m_sharing == e_one_document && m_drawn.insert(key).second) return;
    m_surfaces.emplace(key, cairo_surface_reference(surface));
    m_bytes += bytes;
}

}  // namespace qvx::Render
