#include "pdf/compliance/FileIdentifier.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/Digest.h"
#include "sdf/Objects.h"

namespace qvx::PDF {

bool HasUsableFileID(const SDF::Obj& trailer)
{
    SDF::Obj* id = trailer.IsDict() ? trailer.FindObj("ID") : nullptr;
    if (!id || id->IsIndirect() || !id->IsArray() || id->Size() != 2) return false;
    for (std::size_t i = 0; i < 2; ++i) {
        const SDF::Obj* s = id->GetAt(i);
        if (s->IsIndirect() || !s->IsString() || s->Size() == 0) return false;
    }
    return true;
}

std::unique_ptr<SDF::Obj> MakeNewFileID(SDF::SDFDoc& doc)
{
    std::array<Common::Byte, 256> block{};
    std::size_t pos = 0;
    auto put = [&](const auto& value) {
        std::memcpy(block.data() + pos, &value, sizeof value);
        pos += sizeof value;
    };
    const std::time_t now = std::time(nullptr);
    put(static_cast<std::uint32_t>(doc.XRefSize()));
    put(reinterpret_cast<std::uintptr_t>(doc.GetTrailer()));
    put(now);
    std::srand(static_cast<unsigned>(now));
    for (int i = 0; i < 40; ++i) put(static_cast<std::uint16_t>(std::rand()));
    put(now);
    const std::array<Common::Byte, 16> md = Common::Md5(block);
    auto id = SDF::Array::Create();
    id->PushBackString(Common::ByteView(md));
    id->PushBackString(Common::ByteView(md));
    return id;
}

}  // namespace qvx::PDF
