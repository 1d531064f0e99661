#pragma once

#include <cstddef>
#include <string>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class AdbKeyErrorKind {
    generationFailed,
    invalidToken,
    signingFailed,
    invalidKeyFile,
    unprotectedKeyFile,
    keyFileIsLink,
    keyFileOfAnotherUser,
};

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

    // Readable by others and could not be made private.
    static AdbKeyError unprotectedKeyFile(const std::string& file, const std::string& why) {
        return AdbKeyError(Kind::unprotectedKeyFile,
                           "the key file " + file +
                               " is readable by other users and could not be made private (" + why +
                               "); run \u201Cchmod 600 " + file + "\u201D",
                           caseWithText("unprotectedKeyFile", why));
    }

    // Never followed: its target could be any file of the user's.
    static AdbKeyError keyFileIsLink(const std::string& file) {
        return AdbKeyError(Kind::keyFileIsLink,
                           "the key file " + file +
                               " is a symbolic link, which is never followed; remove it to have "
                               "a new key made, or put the key file itself there",
                           "keyFileIsLink");
    }
    // Never used: its owner could read it or put a key of their own in its place.
    static AdbKeyError keyFileOfAnotherUser(const std::string& file) {
        return AdbKeyError(
            Kind::keyFileOfAnotherUser,
            "the key file " + file + " belongs to another user; remove it to have a new key made",
            "keyFileOfAnotherUser");
    }

private:
    using TypedError::TypedError;
};

}  // namespace qm
