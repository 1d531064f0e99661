#include <QFile>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include "QuillmereApp.h"
#include "ViewTesting.h"

namespace qm {
namespace {

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

// The OpenGL driver stays loaded after the application closes its display, so that the leak
// check at exit can still tell the driver's one-time allocations by their library.
void keepOpenGlDriverLoaded() {
    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly)) {
        return;
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QByteArray path = line.mid(line.indexOf('/'));
        if (path.contains("_dri.so") || path.contains("libGLX_mesa") || path.contains("libLLVM")) {
            dlopen(path.constData(), RTLD_LAZY | RTLD_NOLOAD);
        }
    }
}

// The real application objects and bundle, no phone: the window opens on the
// set-up steps, Demo Mode plays the bundled stream, and closing the window
// quits cleanly.
TEST(EndToEndTest, OpensPlaysTheDemoAndQuits) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    QStandardPaths::setTestModeEnabled(true);

    std::array<char*, 2> arguments{const_cast<char*>("vantorel"), nullptr};
    int count = 1;
    QuillmereApp app(count, arguments.data());
    QQuickWindow* window = app.mainWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    keepOpenGlDriverLoaded();
    EXPECT_EQ(window->title(), "Vantorel");
    QQuickItem* steps = test::findItem(window->contentItem(), "stepList");
    ASSERT_TRUE(steps);
    EXPECT_TRUE(steps->isVisible());

    // The menu is closed: the shortcut alone starts the demo.
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keySequence(window, QKeySequence("Meta+Shift+D"));
    QQuickItem* video = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (video = test::findItem(window->contentItem(), "streamVideo")) != nullptr; }));
    QImage first;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isBlack(first = videoPicture(*window, *video)); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return videoPicture(*window, *video) != first; }));

    // Closing the window is refused and asks the model to quit, which ends the
    // event loop.
    QTimer::singleShot(0, window, [window] { window->close(); });
    EXPECT_EQ(app.exec(), 0);
}

}  // namespace
}  // namespace qm
