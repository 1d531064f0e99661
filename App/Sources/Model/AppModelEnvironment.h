#pragma once

#include <QDateTime>
#include <QSettings>
#include <filesystem>
#include <functional>
#include <memory>

#include "DeviceLink/DeviceLink.h"
#include "DeviceLink/DeviceLinkState.h"
#include "IPhoneMirror/IPhoneWatcher.h"
#include "IPhoneMirror/TimerSource.h"
#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/Executor.h"
#include "QuillmereCore/HostClock.h"
#include "QuillmereCore/StatePublisher.h"
#include "QuillmereKit/Session/StreamingSession.h"
#include "Storage/Bundle.h"

namespace qm {

class AdbConnection;

// The phone's connection states as the app model follows them: the device link in the app.
class DeviceStateSource {
public:
    using Handler = std::function<void(const DeviceLinkState&)>;

    virtual ~DeviceStateSource() = default;
    // `handler` hears, on `executor`, the current state and then every change.
    [[nodiscard]] virtual std::unique_ptr<Subscription> states(Executor& executor,
                                                               Handler handler) = 0;
    virtual void start() = 0;
    // The live connection while connected, else none.
    virtual std::shared_ptr<AdbConnection> connection() const = 0;
};

// Makes the session of a stream from the server's jar; an empty jar makes the demo's.
using SessionFactory = std::function<std::shared_ptr<StreamingSession>(Bytes jar)>;

// Everything the app model takes from the system: the real parts in the application, fakes
// in tests.
struct AppModelEnvironment {
    std::shared_ptr<DeviceStateSource> deviceStates;
    SessionFactory makeSession;
    std::unique_ptr<IPhoneWatcher> iphoneWatcher;
    std::shared_ptr<TimerSource> timers;
    // The server jar, the demo stream, and the Info.json that names the updates' feed.
    Bundle bundle{QString()};
    // Raw stream captures go here.
    std::filesystem::path capturesDirectory;
    std::filesystem::path libraryCacheDirectory;
    // Names the raw stream captures.
    std::function<QDateTime()> now;
    // The host clock in nanoseconds, for input.
    std::function<std::uint64_t()> hostClock = HostClock::nowNanos;
    // The highest frame rate of the screen the stream window is on.
    std::function<int()> displayMaxFps;
    // Ends the process.
    std::function<void()> quit;
    // A test harness hosts the process: nothing may connect on its own, the updater neither.
    bool hostedByTests = false;
    // Stream the phone's screen at its first connection ("QMAutoConnect").
    bool autoConnect = false;

    // The application's: the device link over libusb (or over the bus `usb` names) with the host
    // key in the data folder, the capture devices, Qt timers and screens, the application bundle
    // and folders.
    static AppModelEnvironment standard(QSettings& defaults, DeviceLinkOptions usb = {});
    // The host key file of the device link, in the data folder, which the key makes 0700 when
    // missing.
    static std::filesystem::path adbKeyFile();
};

}  // namespace qm
