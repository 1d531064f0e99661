#include "SceneWindows.h"

#include <QScreen>
#include <algorithm>

namespace qm {

namespace {

void centreOverParent(QWindow& window) {
    const QWindow* parent = window.transientParent();
    if (!parent) {
        return;
    }
    QRect placed(QPoint(), window.size());
    placed.moveCenter(parent->geometry().center());
    if (const QScreen* screen = parent->screen()) {
        const QRect area = screen->availableGeometry();
        placed.moveLeft(std::clamp(placed.left(), area.left(),
                                   std::max(area.left(), area.right() + 1 - placed.width())));
        placed.moveTop(std::clamp(placed.top(), area.top(),
                                  std::max(area.top(), area.bottom() + 1 - placed.height())));
    }
    window.setPosition(placed.topLeft());
}

}  // namespace

void SceneWindows::add(const QString& id, QWindow* window) {
    windows_.insert(id, window);
}

void SceneWindows::open(const QString& id) {
    bringForward(windows_.value(id));
}

void SceneWindows::bringForward(QWindow* window) {
    if (!window) {
        return;
    }
    if (!window->isVisible()) {
        centreOverParent(*window);
        window->show();
    } else if (window->visibility() == QWindow::Minimized) {
        window->showNormal();
    }
    window->raise();
    window->requestActivate();
}

}  // namespace qm
