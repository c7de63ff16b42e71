#include "pdf/compliance/SoftMaskRemoval.h"

#include "common/Exception.h"
#include "pdf/ResourceCache.h"
#include "pdf/compliance/ColourRepair.h"
#include "render/ImageOnWhite.h"
#include "sdf/Objects.h"
#include "sdf/WriteFlate.h"

namespace qvx::PDF {

namespace {

bool DrawOverWhite(PassContext& ctx, SDF::Obj* image)
{
    std::optional<Render::Bitmap> drawn;
    try {
        drawn = Render::DrawImageOnWhite(ctx.doc, image, ctx.caches.Get<ResourceCache>());
    } catch (const std::exception&) {
        return false;
    }
    if (!drawn || drawn->channels != 3) return false;
    for (const char* key : {"Decode", "DecodeParms", "Filter", "Intent", "Mask"}) image->Erase(key);
    image->PutNumber("Width", drawn->width);
    image->PutNumber("Height", drawn->height);
    image->PutNumber("BitsPerComponent", 8);
    image->Put("ColorSpace", ProfileSpace(ctx, ColorSpace::e_device_rgb));
    image->SetStreamData(SDF::FlateBytes(drawn->data));
    image->PutName("Filter", "FlateDecode");
    return true;
}

}  // namespace

void RemoveSoftMasks(PassContext& ctx)
{
    const std::vector<SDF::Obj*> images = std::move(ctx.caches.Get<SoftMasksToRemove>().images);
    ctx.caches.Drop<SoftMasksToRemove>();
    for (SDF::Obj* image : images) {
        if (ctx.Stopped()) break;
        DrawOverWhite(ctx, image);
        image->Erase("SMask");
        image->Erase("SMaskInData");
    }
    // The cache may hold what it read of the images before they changed.
    if (!images.empty()) ctx.caches.Drop<ResourceCache>();
}

}  // namespace qvx::PDF
