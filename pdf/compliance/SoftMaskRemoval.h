#pragma once
// PDF/A-1 has no soft masks: conversion takes them off images. Taken off alone, the parts
// of an image its mask hid show again (often black or noise); so first each image is
// drawn over white with its mask applied and takes those pixels, which keeps its look
// wherever it lies on the page's white.

#include <set>
#include <vector>

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Images whose soft mask goes, collected by the page checks and handled after the page
// walk, when no reader holds the images' old entries any more.
struct SoftMasksToRemove {
    std::vector<SDF::Obj*> images;
    std::set<const SDF::Obj*> seen;

    void Add(SDF::Obj* image)
    {
        if (seen.insert(image).second) images.push_back(image);
    }
};

// Each collected image drawn over white where it can be read (8-bit ICC-based sRGB,
// Flate), then without SMask, SMaskInData and Mask.
void RemoveSoftMasks(PassContext& ctx);

}  // namespace qvx::PDF
