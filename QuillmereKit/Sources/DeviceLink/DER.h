#pragma once

#include <cstdint>

#include "QuillmereCore/Bytes.h"

namespace qm::DER {

struct RSAPublicKey {
    Bytes modulus;  // big-endian, without leading zero bytes
    std::uint32_t exponent = 0;

    bool operator==(const RSAPublicKey&) const = default;
};

// A PKCS#1 RSAPublicKey: SEQUENCE { INTEGER modulus, INTEGER exponent }; bytes after either are
// ignored. Throws AdbKeyError invalidKeyFile.
RSAPublicKey parseRSAPublicKey(ByteView der);

}  // namespace qm::DER
