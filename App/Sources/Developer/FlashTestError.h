#pragma once

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class FlashTestErrorKind {
    screenRecordingDenied,
    windowNotFound,
    noClockSync,
    noDevice,
    nothingDetected
};

// Why a screen-flash latency test could not measure. The message is the case, as logged; the
// runner has the words for people.
class FlashTestError : public TypedError<FlashTestErrorKind> {
public:
    static FlashTestError screenRecordingDenied() {
        return {Kind::screenRecordingDenied, "screenRecordingDenied"};
    }
    static FlashTestError windowNotFound() { return {Kind::windowNotFound, "windowNotFound"}; }
    static FlashTestError noClockSync() { return {Kind::noClockSync, "noClockSync"}; }
    static FlashTestError noDevice() { return {Kind::noDevice, "noDevice"}; }
    static FlashTestError nothingDetected() { return {Kind::nothingDetected, "nothingDetected"}; }

private:
    FlashTestError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

}  // namespace qm
