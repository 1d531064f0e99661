#pragma once

namespace qm {

// libasound's own lines ("ALSA lib pcm.c:...: Unknown PCM default", printed where no sound
// server answers and SDL falls back to ALSA) go to the audio log at debug level instead of
// standard error: the app says itself that the stream has no sound. Before any audio opens;
// any thread.
void routeAlsaLog();

}  // namespace qm
