// Arbitrary bytes as a PDF file through a whole compliance run: opening (with the rebuild),
// the driver's passes and the object pass over every object, in validation at one level
// per PDF/A part and at 2U, and in conversion at the level the size picks (at 1B with
// flattening, drawn at a low resolution, for sizes with bit 4 set). Findings and the
// engine's exception are expected; a crash, a hang or any other exception is not.
#include <cstdint>

#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::int32_t kLevels[] = {2, 4, 5, 9, 12};
    const std::int32_t convert_level = kLevels[size % 5];
    for (std::int32_t level : kLevels) {
        for (bool convert : {false, true}) {
            if (convert && level != convert_level) continue;
            try {
                PDF::PDFAComplianceOptions options;
                options.SetConformance(level);
                options.SetFirstStop((size & 8) != 0);
                options.SetFlatten(convert && (size & 16) != 0);
                options.SetDpi(18);
                options.SetMaxRefObjs(0);
                PDF::PDFACompliance run(convert, Common::Bytes(data, data + size), nullptr, options);
                for (const auto& [code, record] : run.Errors()) run.GetRefCount(code);
            } catch (const Common::Exception&) {
            }
        }
    }
    return 0;
}
