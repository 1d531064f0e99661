#include "Input/CursorCapture.h"

#include <QCursor>
#include <QQuickWindow>

namespace qm {

void CursorCapture::update(bool wanted, QQuickItem* view) {
    if (wanted && !captured_) {
        capture(view);
    } else if (!wanted && captured_) {
        release();
    }
}

void CursorCapture::capture(QQuickItem* view) {
    view_ = view;
    // A window not shown has no centre on the screen.
    if (QQuickWindow* window = view ? view->window() : nullptr; window && window->isVisible()) {
        const QPointF middle(view->width() / 2, view->height() / 2);
        centre_ = window->mapToGlobal(view->mapToScene(middle)).toPoint();
        QCursor::setPos(window->screen(), *centre_);
        view->setCursor(Qt::BlankCursor);
    }
    captured_ = true;
}

void CursorCapture::release() {
    if (!captured_) {
        return;
    }
    if (view_) {
        view_->unsetCursor();
    }
    view_.clear();
    centre_.reset();
    captured_ = false;
}

std::optional<QPointF> CursorCapture::recentre(QPointF globalPosition) {
    if (!centre_ || !view_ || !view_->window()) {
        return std::nullopt;
    }
    const QPointF motion = globalPosition - QPointF(*centre_);
    if (motion.isNull()) {
        return std::nullopt;
    }
    QCursor::setPos(view_->window()->screen(), *centre_);
    return motion;
}

}  // namespace qm
