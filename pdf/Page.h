#pragma once
// One page of the page tree with the attributes it inherits from its ancestors
// (Resources, MediaBox, CropBox, Rotate), resolved when the tree is read.

#include <cstdint>
#include <vector>

#include "pdf/Geometry.h"
#include "pdf/Resources.h"

namespace qvx::PDF {

class Page {
public:
    Page() = default;
    // The inherited values are the nearest ancestor's (null when none has the key).
    Page(SDF::Obj* dict, SDF::Obj* resources, SDF::Obj* media_box, SDF::Obj* crop_box, SDF::Obj* rotate);

    // The page dictionary (an indirect object, or a direct one in damaged trees).
    SDF::Obj* GetSDFObj() const { return mp_dict; }
    // The Resources dictionary in force (own or inherited), or null.
    SDF::Obj* GetResourceDict() const { return mp_resources; }
    Resources GetResources() const { return Resources(mp_resources); }
    // After a repair gave the page Resources of its own.
    void SetResourceDict(SDF::Obj* resources) { mp_resources = resources; }
    // MediaBox (US Letter when missing or damaged), CropBox (the MediaBox when missing).
    Rect GetMediaBox() const;
    Rect GetCropBox() const;
    // Rotate normalised to 0, 90, 180 or 270 (0 when missing or not a multiple of 90).
    int GetRotation() const;
    // The content streams in drawing order: Contents as one stream or an array of
    // streams; elements that are not streams are skipped.
    std::vector<SDF::Obj*> GetContentStreams() const;
    // The same streams as the page's Contents holds them (references, which another array
    // may list too).
    std::vector<SDF::Obj*> GetContentStreamEntries() const;
    // Annots when it is an array, else null.
    SDF::Obj* GetAnnots() const;
    // Group when it is a dictionary, else null.
    SDF::Obj* GetGroup() const;

private:
    SDF::Obj* mp_dict = nullptr;
    SDF::Obj* mp_resources = nullptr;
    SDF::Obj* mp_media_box = nullptr;
    SDF::Obj* mp_crop_box = nullptr;
    SDF::Obj* mp_rotate = nullptr;
};

}  // namespace qvx::PDF
