#include "common/CryptoApi.h"

#include "common/SharedLibrary.h"

namespace qvx::Common {

const CryptoApi& Crypto()
{
    static const CryptoApi api = [] {
        SharedLibrary lib({"libcrypto.so.3", "libcrypto.so"});
        CryptoApi a;
#define QVX_CRYPTO_LOAD(name) a.fn_##name = reinterpret_cast<decltype(a.fn_##name)>(lib.Symbol(#name));
        QVX_CRYPTO_FUNCTIONS(QVX_CRYPTO_LOAD)
#undef QVX_CRYPTO_LOAD
        return a;
    }();
    return api;
}

}  // namespace qvx::Common
