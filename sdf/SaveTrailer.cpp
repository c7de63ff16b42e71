#include "sdf/SaveTrailer.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "common/CryptoApi.h"
#include "common/Exception.h"
#include "sdf/Objects.h"
#include "sdf/SDFDocImpl.h"
#include "sdf/SecurityHandler.h"

namespace qvx::SDF {

namespace {

template <class T>
std::size_t Put(std::array<unsigned char, 256>& block, std::size_t at, T v)
{
    std::memcpy(block.data() + at, &v, sizeof v);
    return at + sizeof v;
}

}  // namespace

Common::Bytes NewFileID(std::size_t table_size)
{
    static std::atomic<std::uint64_t> calls{0};
    std::array<unsigned char, 256> block{};
    std::time_t now = std::time(nullptr);
    std::size_t at = Put(block, 0, static_cast<std::uint32_t>(table_size));
    at = Put(block, at, static_cast<std::int64_t>(now));
    std::srand(static_cast<unsigned>(now));
    for (int i = 0; i < 40; ++i) at = Put(block, at, static_cast<std::uint16_t>(std::rand() & 0xFFFF));
    at = Put(block, at, static_cast<std::int64_t>(now));
    // Saves within one second see the same values so far.
    at = Put(block, at, static_cast<std::int64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    at = Put(block, at, static_cast<std::int64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    at = Put(block, at, static_cast<std::int32_t>(getpid()));
    at = Put(block, at, ++calls);
    std::random_device rd;
    while (at + sizeof(std::uint32_t) <= block.size()) at = Put(block, at, static_cast<std::uint32_t>(rd()));

    Common::Bytes digest(EVP_MAX_MD_SIZE);
    unsigned len = 0;
    QVX_CHECK(EVP_Digest(block.data(), block.size(), digest.data(), &len, EVP_md5(), nullptr) == 1 && len == 16,
              "MD5 digest failed");
    digest.resize(len);
    return digest;
}

void AddFileIDIfMissing(SDFDocImpl& doc, bool encrypting)
{
    Obj* trailer = doc.GetTrailer();
    if (encrypting || !trailer->IsDict() || trailer->FindObj("ID")) return;
    Common::Bytes id = NewFileID(doc.XRefSize());
    Obj* array = trailer->PutArray("ID");
    array->PushBackString(id);
    array->PushBackString(id);
}

// The dictionary under key, if any: a reference to a free entry is none.
static Obj* DictAt(Obj* dict, std::string_view key)
{
    Obj* v = dict->IsDict() ? dict->FindObj(key) : nullptr;
    return v && !v->IsFree() && v->IsDict() ? v : nullptr;
}

void RemoveUsageRights(SDFDocImpl& doc)
{
    Obj* root = DictAt(doc.GetTrailer(), "Root");
    if (!root) return;
    if (Obj* perms = DictAt(root, "Perms"); perms && perms->FindObj("UR3")) perms->Erase("UR3");
    if (Obj* vp = DictAt(root, "ViewerPreferences"); vp && vp->FindObj("Rights")) vp->Erase("Rights");
}

static std::unique_ptr<Obj> TrailerDictCopy(const Obj& trailer)
{
    if (auto* stream = dynamic_cast<const Stream*>(trailer.Resolve())) return stream->GetDict()->Clone();
    if (trailer.IsDict()) return trailer.Clone();
    return Dict::Create();
}

std::unique_ptr<Obj> WrittenTrailer(SDFDocImpl& doc, SecurityHandler* handler)
{
    std::unique_ptr<Obj> t = TrailerDictCopy(*doc.GetTrailer());
    t->Erase("Prev");
    t->Erase("XRefStm");
    Obj* type = t->FindObj("Type");
    if (doc.HasXRefStream() || (type && type->IsName() && type->GetName() == "XRef")) {
        for (const char* key : {"Type", "Length", "W", "Index", "Filter", "DecodeParms"}) t->Erase(key);
    }
    t->Erase("Encrypt");
    if (handler) t->Put("Encrypt", handler->CreateEncryptDict());
    return t;
}

}  // namespace qvx::SDF
