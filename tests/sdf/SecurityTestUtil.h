#pragma once
// Encrypted documents for the security tests: objects built with the object model get
// their strings and stream data encrypted by an output handler, are written out, and are
// read back through DocOver with Encrypt and ID in the trailer.

#include <memory>
#include <string>
#include <vector>

#include "ParserTestUtil.h"
#include "SdfTestUtil.h"
#include "sdf/SecurityHandler.h"

namespace qvx::Test {

// Encrypts every string and the stream data inside obj as object num, generation 0, would be.
inline void EncryptTree(SDF::SecurityHandler& h, std::uint32_t num, SDF::Obj& obj)
{
    if (obj.IsString()) {
        Common::Bytes b(obj.GetBuffer().begin(), obj.GetBuffer().end());
        h.EncryptString(b, num, 0);
        obj.SetString(b);
    } else if (obj.IsArray()) {
        for (std::size_t i = 0; i < obj.Size(); ++i) EncryptTree(h, num, *obj.GetAt(i));
    } else if (obj.IsDict() || obj.IsStream()) {
        for (auto it = obj.DictBegin(); it.HasNext(); ++it) EncryptTree(h, num, *it.Value());
        if (obj.IsStream()) {
            auto plain = obj.GetRawStream(false);
            auto enc = h.EncryptStream(std::move(plain), obj, num, 0);
            std::string data = ReadAll(*enc);
            obj.SetStreamData(Common::ToBytes(data));
        }
    }
}

// "num 0 obj ... endobj" with obj's strings and data encrypted (encrypt false: as it is).
inline std::string ObjText(SDF::SecurityHandler* h, std::uint32_t num, SDF::Obj& obj)
{
    if (h) EncryptTree(*h, num, obj);
    return std::to_string(num) + " 0 obj\n" + Text(&obj) + "\nendobj\n";
}

// A document over the given object texts whose trailer names encrypt_num as Encrypt and
// carries id0 as both ID strings.
inline std::unique_ptr<SDF::SDFDoc> EncryptedDoc(const std::string& objects, std::uint32_t encrypt_num,
                                                 Common::ByteView id0)
{
    auto doc = DocOver("%PDF-1.7\n" + objects);
    SDF::Obj* trailer = doc->GetTrailer();
    trailer->Put("Encrypt", doc->GetObj(encrypt_num));
    SDF::Obj* id = trailer->PutArray("ID");
    id->PushBackString(id0);
    id->PushBackString(id0);
    return doc;
}

}  // namespace qvx::Test
