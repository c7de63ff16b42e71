// The object parser on arbitrary bytes: the plain reader over the whole input, then the
// indirect-object reader at offset 0 with the PDF/A hooks of a level taken from the size
// (and fix-in-place for odd sizes), decoding the stream it may find.
#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "sdf/ObjParser.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "sdf/SDFDocImpl.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Common::ByteView in(data, size);
    try {
        SDF::Parser p(in, nullptr);
        for (int i = 0; i < 10000 && (p.GetObj() || !p.Token().empty()); ++i) {
        }
    } catch (const Common::Exception&) {
    }

    SDF::SDFDoc doc;
    SDF::SDFDocImpl& impl = doc.GetImpl();
    impl.GetCheckState().parser_level = static_cast<std::int32_t>(size % 13);
    impl.GetCheckState().convert = size % 2;
    impl.AttachFile(Filters::MemoryFilter::View(in));
    impl.SetEntry(1, SDF::Indirect::e_in_use, 0, 0);
    impl.SetLoader(std::make_unique<SDF::ObjParser>(impl));
    try {
        SDF::Obj* o = doc.GetObj(1);
        if (o->IsStream()) {
            auto dec = o->GetDecodedStream();
            Filters::FilterReader r(*dec);
            Common::Byte buf[4096];
            while (r.Read(buf, sizeof buf) > 0) {
            }
        }
        Filters::MemoryFilter sink;
        Filters::FilterWriter w(sink);
        o->Resolve()->Write(w);
    } catch (const Common::Exception&) {
    }
    return 0;
}
