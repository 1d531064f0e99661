#pragma once

namespace qm {

// FFmpeg's own lines (a muxer's estimates, an encoder's statistics) go to the video log at
// debug level instead of standard error: the app words its failures itself. Once per process,
// before FFmpeg is used; any thread.
void routeFFmpegLog();

}  // namespace qm
