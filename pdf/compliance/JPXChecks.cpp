// JPEG 2000 data in PDF/A-2 and later: 1, 3 or 4 colour channels and bit depths of 1 to
// 38, read from the image dictionary and from the JPEG 2000 header.
#include <exception>

#include "filters/JPXInfo.h"
#include "pdf/ColorSpace.h"
#include "pdf/ObjUtil.h"
#include "pdf/StreamData.h"
#include "pdf/compliance/ObjectChecks.h"

namespace qvx::PDF {

namespace {

bool ValidChannels(int n) { return n == 1 || n == 3 || n == 4; }

}  // namespace

bool CheckJPXStream(PassContext& ctx, SDF::Obj& stream)
{
    if (FindName(&stream, "Subtype") != "Image") return false;
    // The dictionary's colour space and the data's own channels must both be 1, 3 or 4.
    int dict_channels = 0;
    if (SDF::Obj* cs = FindIn(&stream, "ColorSpace")) {
        try {
            if (auto space = ColorSpace::Create(cs)) dict_channels = space->GetComponentCount();
        } catch (const std::exception&) {
        }
    }
    Filters::JPXInfo info = ReadJPXHeader(stream);
    if (!info.IsValid()) return false;
    int data_channels = info.GetColourChannelCount();
    bool bad = false;
    if ((dict_channels > 0 && !ValidChannels(dict_channels)) || !ValidChannels(data_channels)) {
        ctx.Report(SDF::e_PDFA2832, &stream);
        bad = true;
    }
    for (const Filters::JPXComponent& c : info.GetComponents()) {
        if (c.bit_depth < 1 || c.bit_depth > 38) {
            ctx.Report(SDF::e_PDFA2834, &stream);
            return true;
        }
    }
    return bad;
}

}  // namespace qvx::PDF
