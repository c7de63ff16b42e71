#include "pdf/compliance/ClaimedLevel.h"

#include "common/Exception.h"
#include "pdf/compliance/MetadataDocument.h"
#include "pdf/compliance/PDFAConformance.h"
#include "pdf/compliance/XmpNamespaces.h"
#include "pdf/compliance/XmpPacketScan.h"
#include "pdf/compliance/XmpToolkit.h"

namespace qvx::PDF {

std::int32_t LevelFromClaim(std::string_view part, std::string_view conformance)
{
    static const struct {
        std::string_view part, conformance;
        std::int32_t level;
    } kClaims[] = {
        {"1", "A", e_Level1A}, {"1", "B", e_Level1B}, {"2", "A", e_Level2A}, {"2", "B", e_Level2B},
        {"2", "U", e_Level2U}, {"3", "A", e_Level3A}, {"3", "B", e_Level3B}, {"3", "U", e_Level3U},
        {"4", "", e_Level4},   {"4", "E", e_Level4E}, {"4", "F", e_Level4F},
    };
    std::string upper(conformance);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const auto& claim : kClaims)
        if (claim.part == part && claim.conformance == upper) return claim.level;
    return e_NoConformance;
}

std::int32_t ReadClaimedLevel(const RunInput& input, const std::string& password)
{
    SDF::SDFDoc doc;
    OpenRunDocument(input, doc, password);
    std::string packet;
    try {
        std::optional<std::string> found = ReadMetadataPacket(doc);
        if (!found) return e_NoConformance;
        packet = ScanXmpPacket(*found).text;
    } catch (const std::exception&) {
        return e_NoConformance;   // unreadable metadata claims nothing
    }
    XmpLock lock;
    if (!lock.Initialised()) return e_NoConformance;
    try {
        std::shared_ptr<XmpMeta> meta = XmpMeta::Create();
        meta->Parse(packet);
        std::optional<XmpProperty> part = meta->GetProperty(XmpNs::kPDFAId, "part");
        if (!part) {
            // A file that claims PDF/UA-1 alone is checked as one.
            std::optional<XmpProperty> ua = meta->GetProperty(XmpNs::kPDFUAId, "part");
            return ua && ua->value == "1" ? e_LevelUA1 : e_NoConformance;
        }
        std::optional<XmpProperty> conformance = meta->GetProperty(XmpNs::kPDFAId, "conformance");
        return LevelFromClaim(part->value, conformance ? conformance->value : std::string());
    } catch (const std::exception&) {
        return e_NoConformance;
    }
}

}  // namespace qvx::PDF
