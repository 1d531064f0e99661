#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <semaphore>

#include <gtest/gtest.h>

#include "QuillmereKit/Tasks/GuiTask.h"
#include "RunningApp.h"
#include "Storage/AppSettings.h"
#include "Storage/Bundle.h"
#include "Support/FakeUsb.h"
#include "Updates/AppUpdater.h"

namespace qm {
namespace {

using test::DesktopUser;

// The video item's picture in the window.
QImage videoPicture(QQuickWindow& window, QQuickItem& video) {
    const QRectF area = video.mapRectToScene(QRectF(0, 0, video.width(), video.height()));
    return window.grabWindow().copy(area.toAlignedRect());
}

bool isBlack(const QImage& image) {
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            if (qGray(image.pixel(x, y)) > 16) {
                return false;
            }
        }
    }
    return true;
}

// The real application objects and bundle, no phone: the window opens on the
// set-up steps, Demo Mode plays the bundled stream, and closing the window
// quits cleanly.
TEST(EndToEndTest, OpensPlaysTheDemoAndQuits) {
    static std::binary_semaphore qtEnds(0);
    QObject outlivesTheApp;
    test::RunningApp running;
    ASSERT_TRUE(running.start());
    QQuickWindow& window = running.mainWindow();
    DesktopUser& user = running.user();

    const int ended = running.run({
        {"the set-up steps show",
         [&] {
             EXPECT_EQ(window.title(), "Vantorel");
             EXPECT_TRUE(DesktopUser::shown(window, "stepList"));
         }},
        {"the shortcut alone starts the demo, whose pictures move",
         [&] {
             ASSERT_TRUE(user.activate(window));
             ASSERT_TRUE(user.press("Meta+Shift+D"));
             QQuickItem* video = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return (video = DesktopUser::shown(window, "streamVideo")); }));
             QImage first;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return !isBlack(first = videoPicture(window, *video)); }));
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return videoPicture(window, *video) != first; }));
         }},
        // Refused, the close asks the model to quit, which ends the event loop. A task still at
        // work then ends as Qt does: what it hands the GUI thread must not be left queued, as Qt
        // destroys that under a lock its cancellation would post through and wait on for ever.
        {"the window manager closes the window while a task is at work",
         [&] {
             qAddPostRoutine([] { qtEnds.release(); });
             runOnWorker(&outlivesTheApp, [] { qtEnds.acquire(); }).then([](const auto&) {});
             ASSERT_TRUE(user.press("Alt+F4"));
         }},
    });
    EXPECT_EQ(ended, 0);
}

// A settings file Qt cannot read stays as it was while the app runs on a copy, the updater's
// note of its check included.
TEST(EndToEndTest, LeavesASettingsFileItCannotReadAsItWas) {
    test::FakeUsb usb;
    QTemporaryDir bundle;
    test::RunningApp running;
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
               file.write(bytes) == bytes.size();
    };
    QFile settings(AppSettings::standardFile());
    const QByteArray damaged = "[General]\nhudStyle=compact\n[unclosed\n";
    ASSERT_TRUE(write(settings.fileName(), damaged));
    // The app's bundle with a feed, checked at once: this run may connect by itself, to a bus
    // of its own.
    for (const QFileInfo& entry :
         QDir(Bundle::main().root()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (entry.fileName() != u"Info.json") {
            QFile::link(entry.absoluteFilePath(), bundle.filePath(entry.fileName()));
        }
    }
    ASSERT_TRUE(write(bundle.filePath("Info.json"),
                      R"({"CFBundleVersion": "1", "SUFeedURL": "http://127.0.0.1:9/appcast.xml",
                          "SUPublicEDKey": "BwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwc="})"));
    ASSERT_TRUE(running.start({1280, 800}, [&](QSettings& store) {
        DeviceLinkOptions options;
        options.events = usb.events();
        options.openTransport = usb.opener();
        AppModelEnvironment environment = AppModelEnvironment::standard(store, std::move(options));
        environment.bundle = Bundle(bundle.path());
        environment.hostedByTests = false;
        return environment;
    }));
    QSettings& copy = running.model().settings()->defaults();
    const int ended = running.run({
        {"the updater checks",
         [&] {
             ASSERT_TRUE(
                 DesktopUser::waitFor([&] { return copy.contains(AppUpdater::lastCheckTimeKey); }));
         }},
        {"the window manager closes the window",
         [&] { ASSERT_TRUE(running.user().press("Alt+F4")); }},
    });
    EXPECT_EQ(ended, 0);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), damaged);
}

}  // namespace
}  // namespace qm
