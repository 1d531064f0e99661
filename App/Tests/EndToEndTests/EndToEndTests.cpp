#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>

#include <gtest/gtest.h>

#include "RunningApp.h"

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
        // Refused, the close asks the model to quit, which ends the event loop.
        {"the window manager closes the window", [&] { ASSERT_TRUE(user.press("Alt+F4")); }},
    });
    EXPECT_EQ(ended, 0);
}

}  // namespace
}  // namespace qm
