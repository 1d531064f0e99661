#pragma once

#include <cstddef>
#include <string>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class AdbKeyErrorKind { generationFailed, invalidToken, signingFailed, invalidKeyFile };

class AdbKeyError : public TypedError<AdbKeyErrorKind> {
public:
    static AdbKeyError generationFailed(const std::string& why) {
        return AdbKeyError(Kind::generationFailed, why, caseWithText("generationFailed", why));
    }
    static AdbKeyError invalidToken(std::size_t length) {
        return AdbKeyError(Kind::invalidToken,
                           "token to sign is " + std::to_string(length) + " bytes, expected 20",
                           "invalidToken(" + std::to_string(length) + ")");
    }
    static AdbKeyError signingFailed(const std::string& why) {
        return AdbKeyError(Kind::signingFailed, why, caseWithText("signingFailed", why));
    }
    static AdbKeyError invalidKeyFile() {
        return AdbKeyError(Kind::invalidKeyFile,
                           "the key file does not hold a usable 2048-bit RSA private key",
                           "invalidKeyFile");
    }

private:
    using TypedError::TypedError;
};

}  // namespace qm
