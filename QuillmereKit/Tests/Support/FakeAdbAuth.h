#pragma once

#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "DeviceLink/OpenSSLHandles.h"
#include "QuillmereCore/Bytes.h"

namespace qm::test {

// The phone's side of ADB authentication, written against OpenSSL alone (big-number arithmetic
// and its own signature check) so that it checks the host's key code rather than trusting it.
class FakeAdbAuth {
public:
    struct PublicKey {
        openssl::PKey key;
        std::string comment;
        Bytes line;  // as offered, its NUL included
    };

    // 20 random bytes.
    static Bytes newToken();

    // A public-key line as a phone reads it: 700 base64 characters, a space, a comment and a
    // NUL, whose 524-byte blob holds 64 words, n0inv = -n^-1 mod 2^32, a 2048-bit odd modulus,
    // R^2 mod n and the exponent. Returns the key, or what is wrong with the line.
    static std::variant<PublicKey, std::string> decodePublicKey(ByteView line);

    void trust(openssl::PKey key);
    std::size_t trustedCount() const;
    // A PKCS#1 v1.5 signature of `token` as a SHA-1 digest by one of the trusted keys.
    bool verify(ByteView token, ByteView signature) const;

private:
    mutable std::mutex mutex_;
    std::vector<openssl::PKey> trusted_;
};

}  // namespace qm::test
