#pragma once

#include <string>
#include <utility>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class AudioPlayerErrorKind { unsupportedFormat, device };

// Why a player could not be made or started.
class AudioPlayerError : public TypedError<AudioPlayerErrorKind> {
public:
    // The rate or channel count has no output format here.
    static AudioPlayerError unsupportedFormat() {
        return {Kind::unsupportedFormat, "unsupportedFormat"};
    }
    // The platform's sound output failed; the message is its own.
    static AudioPlayerError device(const std::string& reason) {
        return {Kind::device, reason, caseWithText("device", reason)};
    }

private:
    AudioPlayerError(Kind kind, const std::string& message) : TypedError(kind, message) {}
    AudioPlayerError(Kind kind, const std::string& message, std::string caseText)
        : TypedError(kind, message, std::move(caseText)) {}
};

}  // namespace qm
