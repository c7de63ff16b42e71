#include "pdf/ICCProfile.h"

#include <lcms2.h>

#include <string_view>

#include "common/Buffer.h"
#include "pdf/StreamData.h"

namespace qvx::PDF {

namespace {

// ICC profiles bigger than this are not read (real ones are far smaller).
constexpr std::uint64_t kMaxProfileBytes = 64ull << 20;

// The number of channels of an ICC colour space signature; 3 for one that is not known, as
// lcms2 takes it.
int ChannelsOf(std::string_view space)
{
    if (space == "GRAY") return 1;
    if (space == "CMYK") return 4;
    // Multi-channel spaces: "1CLR" to "FCLR", and "MCH1" to "MCHF".
    auto hex = [](char c) { return c >= '1' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0; };
    if (space.size() == 4 && space.substr(1) == "CLR" && hex(space[0]) >= 1) return hex(space[0]);
    if (space.size() == 4 && space.substr(0, 3) == "MCH" && hex(space[3]) >= 1) return hex(space[3]);
    return 3;
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
    // The signatures are read from the header: lcms2 returns them as enumerations, which a
    // value it does not know would overflow.
    p->m_space = Common::AsChars(data).substr(16, 4);
    p->m_class = Common::AsChars(data).substr(12, 4);
    p->m_channels = ChannelsOf(p->m_space);
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
