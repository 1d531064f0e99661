#include "Recorder/RecorderError.h"

#include <fmt/format.h>

#include "VideoPipeline/FFmpegHandles.h"

namespace qm {

RecorderError RecorderError::cannotStart(std::string_view what, int ffmpegStatus) {
    return cannotStart(fmt::format("{}: {}", what, ffmpegErrorText(ffmpegStatus)));
}

}  // namespace qm
