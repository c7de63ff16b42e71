// Opening encrypted files: the input is a whole PDF file (the seeds are small files
// encrypted with every revision and key length), so the fuzzer mutates the Encrypt
// dictionary, the ID and the encrypted strings and streams. The document is unlocked with
// the empty password or one of the seeds' passwords, every object is loaded and every
// stream decoded; an authorised handler must also decrypt what it encrypts.
#include <cstdlib>
#include <cstring>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SecurityHandler.h"

using namespace qvx;

namespace {

void CheckRoundTrip(SDF::SecurityHandler& h)
{
    const Common::Bytes plain = Common::ToBytes("round trip through the handler");
    Common::Bytes s = plain;
    h.EncryptString(s, 7, 1);
    h.DecryptString(s, 7, 1);
    if (s != plain) std::abort();
    auto stream = SDF::FileStream::Create(plain);
    auto enc = h.EncryptStream(Filters::MemoryFilter::View(plain), *stream, 7, 1);
    Common::Bytes data = Filters::FilterReader(*enc).ReadAll();
    if (data.size() != h.EncryptedStreamLength(plain.size(), *stream)) std::abort();
    auto dec = h.DecryptStream(std::make_unique<Filters::MemoryFilter>(std::move(data)), *stream, 7, 1);
    if (Filters::FilterReader(*dec).ReadAll() != plain) std::abort();
    h.CreateEncryptDict();
}

void LoadAll(SDF::SDFDoc& doc)
{
    for (std::size_t n = 1; n < doc.XRefSize(); ++n) {
        try {
            SDF::Obj* o = doc.GetObj(static_cast<std::uint32_t>(n));
            if (!o->IsIndirect() || o->IsFree() || !o->IsStream()) continue;
            auto dec = o->GetDecodedStream();
            Common::Byte buf[4096];
            Filters::FilterReader r(*dec);
            while (r.Read(buf, sizeof buf) > 0) {
            }
        } catch (const Common::Exception&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SDF::SDFDoc doc;
    try {
        doc.OpenBuffer(Common::Bytes(data, data + size));
    } catch (const Common::Exception&) {
        return 0;
    }
    bool open = false;
    for (const char* password : {"", "user", "owner"}) {
        try {
            open = *password ? doc.InitStdSecurityHandler(password) : doc.InitSecurityHandler();
        } catch (const Common::Exception&) {
            return 0;  // a damaged Encrypt dictionary
        }
        if (open) break;
    }
    if (!open) return 0;
    if (SDF::SecurityHandler* h = doc.GetSecurityHandler()) CheckRoundTrip(*h);
    LoadAll(doc);
    doc.RemoveSecurity();
    return 0;
}
