#include "common/CryptoApi.h"

namespace qvx::Common {

const CryptoApi& Crypto() { QVX_SHARED_LIBRARY_TABLE(CryptoApi, QVX_CRYPTO_FUNCTIONS, "libcrypto.so.3", "libcrypto.so"); }

}  // namespace qvx::Common
