#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Model/AppModelEnvironment.h"
#include "Support/FakeUsb.h"

namespace qm::test {

// A phone for the whole application: one fake phone on the fake USB bus under the real
// libusb-facing transport, in place of the machine's bus in the app's standard environment. It
// asks for authorisation until its user allows the computer, and then remembers its key, as
// "Always allow" does, in the home's phone/adb_keys from one run to the next; it names itself and
// answers getprop, lists a dozen games with PNG icons, streams a 1080p60 clip in H.264 or HEVC with
// audio from the fake device server, reports temperatures and throttling, and answers pings on a
// clock of its own. Its cable can be pulled and plugged in again, and its server killed. GUI thread
// only; the bus prepares each new ADB session on the link's threads.
class SimulatedPhone {
public:
    // Told a line for each finger the phone feels go down, move or lift, on the phone's threads.
    using TouchLog = std::function<void(const std::string& line)>;

    // The file of the 1080p60 H.264 clip; the HEVC one lies beside it with the extension .h265.
    // Each of `codecs` is made with the ffmpeg command line when missing; another codec plays
    // the small fixture clip.
    explicit SimulatedPhone(const std::string& clipFile, TouchLog touches = {},
                            const std::vector<VideoCodec>& codecs = {VideoCodec::h264,
                                                                     VideoCodec::h265});
    // The clip's file for `codec`, given the H.264 one.
    static std::string clipFile(const std::string& h264File, VideoCodec codec);
    ~SimulatedPhone();
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    // The application's standard environment on this phone's bus, with a bundle in which a
    // stand-in the phone accepts takes the server jar's place. Once, after the application
    // object exists.
    AppModelEnvironment environment(QSettings& defaults);

    // The phone's cable goes in (again), after environment(); false when it is in.
    bool plugIn();
    // False when it is out.
    bool pullCable();
    // The user taps "Allow" on the phone's prompt, "Always allow" ticked; false when no prompt
    // shows. Throws std::filesystem::filesystem_error when the key cannot be kept.
    bool allow();
    // The device server dies; false when none runs.
    bool killServer();

    // The latest ADB session of the phone, whose server is the one that runs; null before the
    // first.
    std::shared_ptr<FakePhone> session() const;
    // Everything the computer did wrong, on every layer, over every plug-in so far.
    std::vector<std::string> violations() const;

    // The games and apps the phone lists, the most recently played first; once the
    // application object exists (the icons are drawn with its fonts).
    static const std::vector<AppInfo>& apps();

private:
    void prepare(FakePhone& phone) const;

    FakeServerScript script_;
    QTemporaryDir bundle_;
    std::filesystem::path allowedKeys_;  // a line a key, as a phone keeps them
    FakeUsb usb_;
    std::shared_ptr<FakeUsbDevice> device_;  // none while unplugged
    std::vector<std::shared_ptr<FakeUsbDevice>> unplugged_;
    std::uint8_t address_ = 4;  // the bus address, new at each plug-in as the kernel gives
};

}  // namespace qm::test
