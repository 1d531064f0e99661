#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class ProfileErrorKind { unsupportedVersion, invalidValue, malformed };

// Why a keymap document was not read or a keymap value not written. The messages of
// invalidValue and malformed begin with the member's path and are shown to the user as they are.
class ProfileError : public TypedError<ProfileErrorKind> {
public:
    static ProfileError unsupportedVersion(std::int64_t version) {
        const std::string number = std::to_string(version);
        return ProfileError(Kind::unsupportedVersion,
                            "keymap format version " + number + " is not supported",
                            "unsupportedVersion(" + number + ")", version);
    }
    static ProfileError invalidValue(const std::string& message) {
        return ProfileError(Kind::invalidValue, message, caseWithText("invalidValue", message));
    }
    static ProfileError malformed(const std::string& message) {
        return ProfileError(Kind::malformed, message, caseWithText("malformed", message));
    }

    // The number found, for unsupportedVersion.
    std::int64_t version() const noexcept { return version_; }

private:
    ProfileError(Kind kind, const std::string& message, std::string caseText,
                 std::int64_t version = 0)
        : TypedError(kind, message, std::move(caseText)), version_(version) {}

    std::int64_t version_;
};

}  // namespace qm
