#pragma once

#include <string_view>

#include <fmt/format.h>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class IPhoneCaptureErrorKind { cannotAddInput, cameraAccessDenied, deviceGone };

// Why a capture session did not start. The message is the case with its payload, as logged.
class IPhoneCaptureError : public TypedError<IPhoneCaptureErrorKind> {
public:
    // The input exists but cannot be opened; carries its name.
    static IPhoneCaptureError cannotAddInput(std::string_view deviceName) {
        return {Kind::cannotAddInput, fmt::format("cannotAddInput(\"{}\")", deviceName)};
    }
    // The user may not open video devices (not in the video group).
    static IPhoneCaptureError cameraAccessDenied() {
        return {Kind::cameraAccessDenied, "cameraAccessDenied"};
    }
    // The input went away between listing and opening.
    static IPhoneCaptureError deviceGone() { return {Kind::deviceGone, "deviceGone"}; }

private:
    IPhoneCaptureError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

}  // namespace qm
