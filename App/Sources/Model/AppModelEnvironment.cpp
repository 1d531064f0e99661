#include "AppModelEnvironment.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QSysInfo>
#include <QWindow>
#include <cmath>
#include <utility>

#include "DeviceLink/DeviceLink.h"
#include "QuillmereKit/Session/Session.h"
#include "Storage/StoredValue.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

class DeviceLinkStates final : public DeviceStateSource {
public:
    explicit DeviceLinkStates(std::shared_ptr<DeviceLink> link) : link_(std::move(link)) {}

    std::unique_ptr<Subscription> states(Executor& executor, Handler handler) override {
        return link_->states(executor, std::move(handler));
    }
    void start() override { link_->start(); }
    std::shared_ptr<AdbConnection> connection() const override { return link_->connection(); }

private:
    std::shared_ptr<DeviceLink> link_;
};

// A session keeps the link it streams over alive, and goes before it.
struct LinkedSession {
    LinkedSession(std::shared_ptr<DeviceLink> deviceLink, Bytes jar)
        : link(std::move(deviceLink)), session(*link, std::move(jar)) {}

    std::shared_ptr<DeviceLink> link;
    Session session;
};

fs::path standardFolder(QStandardPaths::StandardLocation location) {
    return fs::path(QStandardPaths::writableLocation(location).toStdString());
}

// The screen the stream window is on: the focus window's, else the first shown window's, else
// the primary one.
int focusedScreenMaxFps() {
    const QScreen* screen = nullptr;
    if (const QWindow* focus = QGuiApplication::focusWindow()) {
        screen = focus->screen();
    }
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (screen == nullptr && window->isVisible()) {
            screen = window->screen();
        }
    }
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? int(std::lround(screen->refreshRate())) : 60;
}

}  // namespace

fs::path AppModelEnvironment::adbKeyFile() {
    return standardFolder(QStandardPaths::AppDataLocation) / "adbkey";
}

AppModelEnvironment AppModelEnvironment::standard(QSettings& defaults, DeviceLinkOptions usb) {
    QString hostName = QSysInfo::machineHostName();
    if (hostName.isEmpty()) {
        hostName = QStringLiteral("PC");
    }
    auto link = std::make_shared<DeviceLink>(adbKeyFile(), hostName.toStdString(), std::move(usb));
    AppModelEnvironment environment;
    environment.deviceStates = std::make_shared<DeviceLinkStates>(link);
    environment.makeSession = [link](Bytes jar) {
        auto linked = std::make_shared<LinkedSession>(link, std::move(jar));
        return std::shared_ptr<StreamingSession>(linked, &linked->session);
    };
    environment.iphoneWatcher = std::make_unique<IPhoneWatcher>();
    environment.timers = std::make_shared<QtTimerSource>();
    environment.bundle = Bundle::main();
    environment.capturesDirectory = standardFolder(QStandardPaths::AppDataLocation) / "Captures";
    environment.libraryCacheDirectory =
        standardFolder(QStandardPaths::CacheLocation) / "GameLibrary";
    environment.now = QDateTime::currentDateTimeUtc;
    environment.displayMaxFps = focusedScreenMaxFps;
    environment.quit = QCoreApplication::quit;
    environment.hostedByTests = qEnvironmentVariableIsSet("QM_HOSTED_BY_TESTS");
    const QVariant autoConnect = defaults.value(QStringLiteral("QMAutoConnect"));
    environment.autoConnect = autoConnect.isValid() && StoredValue::toBool(autoConnect);
    return environment;
}

}  // namespace qm
