#pragma once
// Bitmaps written to files: binary PPM (P6, RGB) and PNG (RGB or RGBA).

#include <string>

#include "render/PageRenderer.h"

namespace qvx::Render {

// Throws Common::Exception when the file cannot be written.
void WritePPM(const Bitmap& bitmap, const std::string& path);
void WritePNG(const Bitmap& bitmap, const std::string& path);

}  // namespace qvx::Render
