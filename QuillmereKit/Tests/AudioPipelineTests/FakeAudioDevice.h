#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "AudioPipeline/AudioDevice.h"

namespace qm::test {

// A sound output without a speaker: the test pulls blocks on its own thread, loses the device and
// plugs an output in on demand. Like SDL, close() waits for a pull under way, and only the open
// device can be lost. Departures from the device contract are recorded in violations().
class FakeAudioDevice final : public AudioDevice {
public:
    void setChangeHandler(Changed changed) override;
    void open(int sampleRate, int channels, const Pull& pull) override;
    void close() noexcept override;
    void reconnect() override;

    // Pulls `frames` interleaved frames as the device thread would; empty when closed.
    std::vector<float> pull(int frames);
    // Reports the open device gone, on the calling thread.
    void lose();
    // An output appears: reported, on the calling thread, when none is open.
    void plugIn();
    // Opens fail with `reason` while it is set.
    void failOpens(std::string reason);
    // The sound server ends, the open device with it (reported lost, on the calling thread):
    // opens fail until a reconnect() once it runs again. Its start is announced to no one.
    void stopServer();
    void startServer();

    bool isOpen() const;
    int opens() const;  // attempts, failed ones included
    int reconnects() const;
    int sampleRate() const;
    int channels() const;
    std::vector<std::string> violations() const;

private:
    mutable std::mutex mutex_;
    Changed changed_;
    Pull pull_;
    bool isOpen_ = false;
    int opens_ = 0;
    int reconnects_ = 0;
    bool serverRuns_ = true;
    // Which run of the server the connection reached; the first needs no reconnect.
    int serverRun_ = 0;
    int connectedRun_ = 0;
    int sampleRate_ = 0;
    int channels_ = 0;
    std::string failure_;
    std::vector<std::string> violations_;
};

}  // namespace qm::test
