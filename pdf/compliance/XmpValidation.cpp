#include "pdf/compliance/XmpValidation.h"

#include "pdf/compliance/XmpExtensionSchemas.h"
#include "pdf/compliance/XmpIdentification.h"
#include "pdf/compliance/XmpPacketScan.h"
#include "pdf/compliance/XmpPropertyChecks.h"
#include "pdf/compliance/XmpSync.h"

namespace qvx::PDF {

namespace {

// Parses the scanned packet and checks its wrapper; throws on a toolkit failure.
std::shared_ptr<XmpMeta> Parse(const XmpCheckContext& ctx, const XmpPacketScan& scan, bool check_wrapper)
{
    std::shared_ptr<XmpMeta> meta = XmpMeta::Create();
    meta->Parse(scan.text);
    if (check_wrapper && !scan.header_attributes_clean) ctx.Report(SDF::e_PDFA751);
    if (check_wrapper && !scan.wrapper_seen) ctx.Report(SDF::e_PDFA725);
    // PDF/A-4 takes the packet in UTF-8 only; earlier parts allow every XMP encoding.
    if (check_wrapper && ctx.IsPDFA4() && !scan.was_utf8) ctx.Report(SDF::e_PDFA723);
    return meta;
}

void TrimNuls(Common::UString& s)
{
    while (!s.Units().empty() && s.Units().back() == u'\0') s.Units().pop_back();
}

}  // namespace

bool ValidateXmpPacket(const XmpCheckContext& ctx, std::string_view packet, DocInfoValues& values,
                       XmpMetaHolder* holder)
{
    XmpLock lock;
    if (!lock.Initialised()) return false;
    std::shared_ptr<XmpMeta> meta;
    XmpPacketScan scan;
    std::vector<XmpRawProperty> raw;
    try {
        scan = ScanXmpPacket(packet);
        raw = ReadXmpRawProperties(scan.text);
        meta = Parse(ctx, scan, true);
        if (!ctx.IsPDFA4()) CheckXmpBasicNames(ctx, *meta);
        CheckXmpDates(ctx, *meta, values);
        CheckXmpIdentifier(ctx, *meta);
        CheckXmpTexts(ctx, *meta, raw, values);
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA723);
        meta.reset();
    }
    bool hand_over = false;
    if (meta) {
        bool identify = true;
        try {
            if (!ctx.IsPDFA4()) {
                XmpPredefinedResult found =
                    CheckPredefinedProperties(ctx, *meta, raw);
                ValidateExtensionSchemas(ctx, *meta, found, scan.declared_prefixes);
            }
        } catch (const std::exception&) {
            ctx.Report(SDF::e_PDFA723);
            identify = false;
        }
        hand_over = !ctx.state.errors.AnyPresent();
        if (identify) {
            try {
                CheckPDFAIdentification(ctx, *meta, values, scan.declared_prefixes);
            } catch (const std::exception&) {
                ctx.Report(SDF::e_PDFA723);
            }
        }
    }
    values.TrimTrailingNuls();
    if (holder && hand_over) *holder = meta;
    return true;
}

XmpUAResult ValidateXmpPacketUA(const XmpCheckContext& ctx, std::string_view packet)
{
    XmpUAResult result;
    XmpLock lock;
    if (!lock.Initialised()) return result;
    result.initialised = true;
    try {
        std::shared_ptr<XmpMeta> meta = Parse(ctx, ScanXmpPacket(packet), false);
        XmpUAIdentification id = CheckPDFUAIdentification(ctx, *meta);
        result.title = std::move(id.title);
        result.part = std::move(id.part);
    } catch (const std::exception&) {
        ctx.Report(SDF::e_PDFA723);
    }
    TrimNuls(result.title);
    TrimNuls(result.part);
    return result;
}

}  // namespace qvx::PDF
