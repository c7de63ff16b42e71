#include "common/Exception.h"
#include "filters/Filter.h"
#include "sdf/Obj.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

// A handler that only decrypts (a custom one registered for reading) cannot be saved with.
static constexpr const char* kNoOutput = "The security handler does not support encrypted output";

std::unique_ptr<Obj> SecurityHandler::CreateEncryptDict(Common::ByteView)
{
    QVX_THROW("CanEncrypt()", kNoOutput);
}

void SecurityHandler::EncryptString(Common::Bytes&, std::uint32_t, std::uint16_t)
{
    QVX_THROW("CanEncrypt()", kNoOutput);
}

std::unique_ptr<Filters::Filter> SecurityHandler::EncryptStream(std::unique_ptr<Filters::Filter>, const Obj&,
                                                                std::uint32_t, std::uint16_t)
{
    QVX_THROW("CanEncrypt()", kNoOutput);
}

}  // namespace qvx::SDF
