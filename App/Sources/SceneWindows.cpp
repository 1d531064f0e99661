#include "SceneWindows.h"

namespace qm {

void SceneWindows::add(const QString& id, QWindow* window) {
    windows_.insert(id, window);
}

void SceneWindows::open(const QString& id) {
    QWindow* window = windows_.value(id);
    if (!window) {
        return;
    }
    if (window->visibility() == QWindow::Minimized) {
        window->showNormal();
    } else {
        window->show();
    }
    window->raise();
    window->requestActivate();
}

}  // namespace qm
