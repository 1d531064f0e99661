#include "AudioPipeline/SdlAudioDevice.h"

#include <cstring>

#include <SDL.h>

#include "AudioPipeline/AlsaLog.h"
#include "AudioPipeline/AudioPlayerError.h"

namespace qm {
namespace {

constexpr Uint32 subsystems = SDL_INIT_AUDIO | SDL_INIT_EVENTS;

// Starting SDL's audio connects to the sound server and stopping it disconnects, each taking a
// while on the thread that makes the device: after the first device the process keeps one
// reference, so later streams and reconnects cost neither.
void keepSubsystemsForTheProcess() {
    static const bool kept = SDL_InitSubSystem(subsystems) == 0;
    (void)kept;
}

}  // namespace

struct SdlAudioDevice::Callbacks {
    // On SDL's audio thread.
    static void SDLCALL fill(void* self, Uint8* stream, int length) {
        auto& device = *static_cast<SdlAudioDevice*>(self);
        const int frames = length / device.frameBytes_;
        device.pull_(reinterpret_cast<float*>(stream), frames);
        const int tail = length - frames * device.frameBytes_;
        if (tail > 0) {
            std::memset(stream + frames * device.frameBytes_, 0, std::size_t(tail));
        }
    }

    // On whichever thread posts the event: it only reports.
    static int SDLCALL watch(void* self, SDL_Event* event) {
        auto& device = *static_cast<SdlAudioDevice*>(self);
        if ((event->type != SDL_AUDIODEVICEREMOVED && event->type != SDL_AUDIODEVICEADDED) ||
            event->adevice.iscapture != 0 || !device.changed_ || device.reconnecting_.load()) {
            return 0;
        }
        const SDL_AudioDeviceID open = device.openID_.load();
        // An addition's `which` is an index into SDL's list, not an open device: any output
        // that appears is worth a try once the reopen after a loss found nothing.
        const bool lost =
            event->type == SDL_AUDIODEVICEREMOVED && open != 0 && event->adevice.which == open;
        const bool appeared = event->type == SDL_AUDIODEVICEADDED && open == 0;
        if (lost || appeared) {
            device.changed_();
        }
        return 0;  // ignored for watches
    }
};

SdlAudioDevice::SdlAudioDevice() {
    // SDL would take SIGINT and SIGTERM for an event nobody reads: the app must stay killable.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    static const bool routed = (routeAlsaLog(), true);
    (void)routed;
    if (SDL_InitSubSystem(subsystems) != 0) {
        throw AudioPlayerError::device(SDL_GetError());
    }
    keepSubsystemsForTheProcess();
    SDL_AddEventWatch(&Callbacks::watch, this);
}

SdlAudioDevice::~SdlAudioDevice() {
    close();
    // Waits for a watch under way, so none reaches this object afterwards.
    SDL_DelEventWatch(&Callbacks::watch, this);
    SDL_QuitSubSystem(subsystems);
}

void SdlAudioDevice::setChangeHandler(Changed changed) {
    changed_ = std::move(changed);
}

void SdlAudioDevice::open(int sampleRate, int channels, const Pull& pull) {
    close();
    pull_ = pull;
    frameBytes_ = channels * int(sizeof(float));
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = blockFrames;
    wanted.callback = &Callbacks::fill;
    wanted.userdata = this;
    // No allowed changes: SDL converts, and the pull always sees exactly what was asked for.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (id == 0) {
        pull_ = nullptr;
        throw AudioPlayerError::device(SDL_GetError());
    }
    openID_.store(id);
    SDL_PauseAudioDevice(id, 0);
}

void SdlAudioDevice::close() noexcept {
    const SDL_AudioDeviceID id = openID_.exchange(0);
    if (id != 0) {
        SDL_CloseAudioDevice(id);  // returns once a callback under way has finished
    }
    pull_ = nullptr;
}

void SdlAudioDevice::reconnect() {
    close();
    reconnecting_.store(true);
    // SDL's subsystem count stays as it is: only the driver, and its server connection, is new.
    SDL_AudioQuit();
    const bool started = SDL_AudioInit(nullptr) == 0;
    reconnecting_.store(false);
    if (!started) {
        throw AudioPlayerError::device(SDL_GetError());
    }
}

}  // namespace qm
