#pragma once

namespace qm {

// Whether quitting must wait: a recording's file or a session's stop would be cut short.
namespace QuitGuard {

enum class TerminateReply { terminateNow, terminateLater };

constexpr TerminateReply reply(bool isRecording, bool isStopping) noexcept {
    return isRecording || isStopping ? TerminateReply::terminateLater
                                     : TerminateReply::terminateNow;
}

}  // namespace QuitGuard
}  // namespace qm
