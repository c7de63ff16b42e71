#pragma once
// PDF/A-1 has no optional content: conversion removes the document's layers, and with them
// the switch that kept some content hidden. So that the pages keep their look, content in
// the layers that were off is made to paint nothing first: its paths end without painting
// (clips they set still apply), its text shows invisibly (still there to search), its
// images, shadings and forms go, and so do annotations that were off. Graphics state
// changes in it stay, as they applied while it was hidden.

#include "pdf/compliance/PassContext.h"

namespace qvx::PDF {

// Runs over every page's content, the forms, tiling patterns and annotation appearances
// it draws, with the visibility of the document's default configuration.
void HideOffContent(PassContext& ctx);

}  // namespace qvx::PDF
