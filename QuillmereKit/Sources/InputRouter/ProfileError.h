#pragma once

#include <cstdint>
#include <string>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class ProfileErrorKind { unsupportedVersion, invalidValue, malformed };

// Why a keymap document was not read or a keymap value not written. The messages of
// invalidValue and malformed begin with the member's path and are shown to the user as they are;
// unsupportedVersion's message is the case itself, "unsupportedVersion(3)".
class ProfileError : public TypedError<ProfileErrorKind> {
public:
    static ProfileError unsupportedVersion(std::int64_t version) {
        return ProfileError(Kind::unsupportedVersion,
                            "unsupportedVersion(" + std::to_string(version) + ")", version);
    }
    static ProfileError invalidValue(const std::string& message) {
        return ProfileError(Kind::invalidValue, message);
    }
    static ProfileError malformed(const std::string& message) {
        return ProfileError(Kind::malformed, message);
    }

    // The number found, for unsupportedVersion.
    std::int64_t version() const noexcept { return version_; }

private:
    ProfileError(Kind kind, const std::string& message, std::int64_t version = 0)
        : TypedError(kind, message), version_(version) {}

    std::int64_t version_;
};

}  // namespace qm
