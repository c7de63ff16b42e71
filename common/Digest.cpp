#include "common/Digest.h"

#include <cstdio>

#include "common/CryptoApi.h"

namespace qvx::Common {

std::string Sha256Hex(ByteView data)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md, &n, EVP_sha256(), nullptr);
    std::string hex;
    char buf[3];
    for (unsigned int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", md[i]);
        hex += buf;
    }
    return hex;
}

std::array<Byte, 16> Md5(ByteView data)
{
    std::array<Byte, 16> md{};
    unsigned int n = 0;
    EVP_Digest(data.data(), data.size(), md.data(), &n, EVP_md5(), nullptr);
    return md;
}

}  // namespace qvx::Common
