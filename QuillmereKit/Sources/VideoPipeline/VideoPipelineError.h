#pragma once

#include <cstdint>
#include <string_view>

#include <fmt/format.h>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class VideoPipelineErrorKind {
    missingParameterSet,
    formatDescription,
    decoderCreation,
    renderer
};

// Failures of the video pipeline. The message is the case with its payload, as logged
// (for example `missingParameterSet("SPS")`); statuses are the decoder library's codes.
class VideoPipelineError : public TypedError<VideoPipelineErrorKind> {
public:
    // "VPS", "SPS" or "PPS".
    static VideoPipelineError missingParameterSet(std::string_view name) {
        return {Kind::missingParameterSet, caseWithText("missingParameterSet", name)};
    }
    static VideoPipelineError formatDescription(std::int32_t status) {
        return {Kind::formatDescription, fmt::format("formatDescription({})", status)};
    }
    static VideoPipelineError decoderCreation(std::int32_t status) {
        return {Kind::decoderCreation, fmt::format("decoderCreation({})", status)};
    }
    // The renderer could not be set up.
    static VideoPipelineError renderer(std::string_view reason) {
        return {Kind::renderer, caseWithText("renderer", reason)};
    }

private:
    VideoPipelineError(Kind kind, const std::string& message) : TypedError(kind, message) {}
};

}  // namespace qm
