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

Common::Bytes ICCProfile::AsVersion2() const
{
    cmsHPROFILE h = cmsOpenProfileFromMem(m_bytes.data(), static_cast<cmsUInt32Number>(m_bytes.size()));
    if (!h) return {};
    // lcms2 copies tags it has not read as they are, in their own (later) types; read, each
    // is written again in the type the new version asks for. A tag it cannot read would stay
    // of a later type, so the profile is not rewritten then.
    bool read_all = true;
    const cmsInt32Number tags = cmsGetTagCount(h);
    for (cmsInt32Number i = 0; i < tags && read_all; ++i) read_all = cmsReadTag(h, cmsGetTagSignature(h, i)) != nullptr;
    cmsUInt32Number size = 0;
    Common::Bytes out;
    if (read_all) {
        cmsSetProfileVersion(h, 2.1);
        if (cmsSaveProfileToMem(h, nullptr, &size) && size > 0) {
            out.resize(size);
            if (!cmsSaveProfileToMem(h, out.data(), &size)) out.clear();
        }
    }
    cmsCloseProfile(h);
    return out;
}

std::shared_ptr<const ICCProfile> ICCProfile::FromStream(const SDF::Obj* stream)
{
    auto data = ReadDecoded(stream, kMaxProfileBytes);
    if (!data) return nullptr;
    return FromBytes(std::move(*data));
}

}  // namespace qvx::PDF
