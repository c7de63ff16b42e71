// Arbitrary bytes as a PDF file through a whole compliance run: opening (with the rebuild),
// the driver's passes and the object pass over every object, in validation at one level
// per PDF/A part and in conversion at the level the size picks. Findings and the engine's
// exception are expected; a crash, a hang or any other exception is not.
#include <cstdint>

#include "common/Exception.h"
#include "pdf/compliance/PDFACompliance.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::int32_t kLevels[] = {2, 4, 9, 12};
    const std::int32_t convert_level = kLevels[size % 4];
    for (std::int32_t level : kLevels) {
        for (bool convert : {false, true}) {
            if (convert && level != convert_level) continue;
            try {
                PDF::PDFACompliance run(convert, Common::Bytes(data, data + size), nullptr, level, nullptr, 0, 0,
                                        (size & 8) != 0);
                for (int i = 0; i < run.GetErrorCount(); ++i) run.GetRefCount(run.GetError(i));
            } catch (const Common::Exception&) {
            }
        }
    }
    return 0;
}
