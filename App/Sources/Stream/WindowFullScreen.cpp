#include "Stream/WindowFullScreen.h"

#include <QVariant>
#include <QWindow>

namespace qm::WindowFullScreen {

namespace {

// Kept on the window itself, so that it is the same whoever entered full screen.
constexpr const char* shownBefore = "qm.visibilityBeforeFullScreen";

}  // namespace

bool isOn(const QWindow& window) {
    return window.visibility() == QWindow::FullScreen;
}

void toggle(QWindow& window) {
    if (isOn(window)) {
        const QVariant before = window.property(shownBefore);
        window.setVisibility(before.isValid() ? before.value<QWindow::Visibility>()
                                              : QWindow::Windowed);
        return;
    }
    const QWindow::Visibility now = window.visibility();
    window.setProperty(
        shownBefore,
        QVariant::fromValue(now == QWindow::Maximized ? QWindow::Maximized : QWindow::Windowed));
    window.setVisibility(QWindow::FullScreen);
}

}  // namespace qm::WindowFullScreen
