#include "pdf/ICCProfile.h"

#include <lcms2.h>

#include "pdf/StreamData.h"

namespace qvx::PDF {

namespace {

// ICC profiles bigger than this are not read (real ones are far smaller).
constexpr std::uint64_t kMaxProfileBytes = 64ull << 20;

std::string Sig(cmsUInt32Number s)
{
    std::string out(4, ' ');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((s >> (24 - 8 * i)) & 0xFF);
    return out;
}

void Quiet(cmsContext, cmsUInt32Number, const char*) {}

}  // namespace

std::shared_ptr<const ICCProfile> ICCProfile::FromBytes(Common::Bytes data)
{
    // The header alone is 128 bytes; lcms2 rejects shorter data anyway.
    if (data.size() < 128) return nullptr;
    static const bool quiet = (cmsSetLogErrorHandler(Quiet), true);
    (void)quiet;
    cmsHPROFILE h = cmsOpenProfileFromMem(data.data(), static_cast<cmsUInt32Number>(data.size()));
    if (!h) return nullptr;
    auto p = std::make_shared<ICCProfile>();
    cmsColorSpaceSignature cs = cmsGetColorSpace(h);
    p->m_channels = static_cast<int>(cmsChannelsOf(cs));
    p->m_space = Sig(cs);
    p->m_class = Sig(cmsGetDeviceClass(h));
    p->m_version = cmsGetEncodedICCversion(h);
    cmsCloseProfile(h);
    p->m_bytes = std::move(data);
    return p;
}

std::shared_ptr<const ICCProfile> ICCProfile::FromStream(const SDF::Obj* stream)
{
    auto data = ReadDecoded(stream, kMaxProfileBytes);
    if (!data) return nullptr;
    return FromBytes(std::move(*data));
}

}  // namespace qvx::PDF
