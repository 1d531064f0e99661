#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "DeviceLink/AdbKeyError.h"
#include "DeviceLink/OpenSSLHandles.h"
#include "QuillmereCore/Bytes.h"

namespace qm {

// This computer's RSA-2048 identity towards phones. Never changes after creation, so signing
// and forming the public key are safe from any thread.
class AdbKey {
public:
    static constexpr std::size_t tokenByteCount = 20;

    // The key kept in `file` (a PKCS#1 RSAPrivateKey in DER), or a new one written there when
    // there is no file, in folders made 0700. A file that holds no usable key, a link and another
    // user's file are each reported and never replaced; a key file others can read is made
    // private first. A key's folder that others may write in is logged as a warning.
    // Blocks for file I/O and, the first time, key generation.
    static AdbKey loadOrCreate(const std::filesystem::path& file);

    // Throws AdbKeyError invalidKeyFile unless the bytes are a 2048-bit RSA private key.
    explicit AdbKey(ByteView privateKeyDER);

    // The 256-byte PKCS#1 v1.5 signature of a 20-byte token taken as a ready SHA-1 digest.
    Bytes sign(ByteView token) const;
    // The base64 Android public key, a space, the comment and a NUL.
    Bytes androidPublicKey(std::string_view comment) const;

    const Bytes& modulus() const noexcept { return modulus_; }
    std::uint32_t exponent() const noexcept { return exponent_; }

private:
    openssl::PKey privateKey_;  // holds the public half as well
    Bytes modulus_;             // big-endian, exactly 256 bytes
    std::uint32_t exponent_ = 0;
};

}  // namespace qm
