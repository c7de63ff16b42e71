// Pass 12: the metadata step (Info and XMP validation; the rewrite in conversion).
#include "pdf/compliance/DriverPasses.h"
#include "pdf/compliance/MetadataStep.h"

namespace qvx::PDF {

void RunMetadataPass(PassContext& ctx) { RunMetadataStep(ctx.doc, ctx.input_name); }

}  // namespace qvx::PDF
