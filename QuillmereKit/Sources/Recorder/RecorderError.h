#pragma once

#include <string_view>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class RecorderErrorKind { cannotStart, writeFailed, noVideo, fileRemoved };

// Why a recording could not start or could not be completed. The message is the case with its
// text, as logged (for example `writeFailed("finish() called twice")`).
class RecorderError : public TypedError<RecorderErrorKind> {
public:
    static RecorderError cannotStart(std::string_view why) {
        return {Kind::cannotStart, caseWithText("cannotStart", why)};
    }
    // What failed to start, with the text of FFmpeg's status.
    static RecorderError cannotStart(std::string_view what, int ffmpegStatus);
    static RecorderError writeFailed(std::string_view why) {
        return {Kind::writeFailed, caseWithText("writeFailed", why)};
    }
    // No key frame arrived: the file was deleted.
    static RecorderError noVideo() { return {Kind::noVideo, "noVideo"}; }
    // The file was removed while recording and could not be written again.
    static RecorderError fileRemoved(std::string_view why) {
        return {Kind::fileRemoved, caseWithText("fileRemoved", why)};
    }

private:
    RecorderError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

}  // namespace qm
