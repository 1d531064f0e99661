#pragma once

#include "QuillmereCore/StreamTypes.h"

namespace qm {

// What a streaming session needs of a sound output. `enqueue` comes from the audio task and must
// never wait on playback; the rest from the session.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Begins playing; throws when the output cannot.
    virtual void start() = 0;
    // Hands over one audio packet of the stream; callable from any thread.
    virtual void enqueue(const StreamPacket& packet) = 0;
    virtual void stop() = 0;
    // A muted output plays silence. Any thread.
    virtual bool isMuted() const = 0;
    virtual void setMuted(bool muted) = 0;
};

}  // namespace qm
