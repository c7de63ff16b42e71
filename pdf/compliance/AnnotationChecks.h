#pragma once
// The page-level rules of the annotation group: the page's PresSteps and AA, and each
// annotation of Annots (subtype per level, 3D data, CA, flags, colours against the output
// intent, blend mode, appearance dictionaries, and the actions of links and widgets); in PDF/UA runs,
// TrapNet annotations.

#include "pdf/compliance/ContentWalk.h"

namespace qvx::PDF {

class AnnotationCheck final : public ContentCheck {
public:
    void PageBegin(PassContext& ctx, const Page& page) override;
};

}  // namespace qvx::PDF
