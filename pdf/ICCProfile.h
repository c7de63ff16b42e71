#pragma once
// An ICC profile read with Little CMS 2: what the colour checks compare (colour space and
// its channel count, device class, version) and the profile bytes themselves.

#include <cstdint>
#include <memory>
#include <string>

#include "common/Buffer.h"

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

class ICCProfile {
public:
    // Reads the profile of an ICC stream; null when the data is not a profile lcms2 accepts.
    static std::shared_ptr<const ICCProfile> FromStream(const SDF::Obj* stream);
    static std::shared_ptr<const ICCProfile> FromBytes(Common::Bytes data);

    // Channels of the data colour space (1 gray, 3 RGB/Lab, 4 CMYK, ...).
    int GetComponentCount() const { return m_channels; }
    // The data colour space signature as four characters ("RGB ", "CMYK", "GRAY", "Lab ").
    const std::string& GetColorSpace() const { return m_space; }
    // Device class ("mntr", "prtr", "scnr", "spac", ...).
    const std::string& GetDeviceClass() const { return m_class; }
    // Profile version, e.g. 0x02100000 for 2.1.0.
    std::uint32_t GetVersion() const { return m_version; }
    const Common::Bytes& GetBytes() const { return m_bytes; }
    // The profile written again at version 2.1 with the same colour transforms (each tag in
    // a type of that version), for readers of version 2 profiles only; empty when lcms2
    // cannot write it so.
    Common::Bytes AsVersion2() const;

private:
    int m_channels = 0;
    std::string m_space, m_class;
    std::uint32_t m_version = 0;
    Common::Bytes m_bytes;
};

}  // namespace qvx::PDF
