#include "Windows/WindowPlacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVariantList>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "Storage/StoredValue.h"

namespace qm {

namespace {

constexpr const char* geometryKey = "windowGeometry";
constexpr const char* maximisedKey = "windowMaximized";

// The width of the window's top that must show on a screen for the window to be taken by its
// title bar, and the depth of that band.
constexpr int graspableWidth = 64;
constexpr int graspableDepth = 32;
// Beyond any desktop: a hand-edited figure past it is no place.
constexpr qint64 farthest = 1 << 20;

// x, y, width and height; an INI store gives them back as text, a hand edit anything at all.
std::optional<QRect> storedGeometry(const QVariant& value) {
    std::array<int, 4> figures{};
    const std::optional<QVariantList> numbers =
        StoredValue::toList(value, qsizetype(figures.size()));
    if (!numbers) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const std::optional<qint64> figure = StoredValue::toInteger((*numbers)[qsizetype(i)]);
        if (!figure || std::abs(*figure) > farthest) {
            return std::nullopt;
        }
        figures[i] = int(*figure);
    }
    const QRect rect(figures[0], figures[1], figures[2], figures[3]);
    return rect.isEmpty() ? std::nullopt : std::optional(rect);
}

QList<QRect> availableScreens() {
    QList<QRect> areas;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) {
        areas.append(primary->availableGeometry());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

}  // namespace

QRect WindowPlacement::placed(QRect saved, const QList<QRect>& screens, QMargins frame) {
    if (screens.isEmpty()) {
        return saved;
    }
    const QRect top(saved.topLeft(), QSize(saved.width(), graspableDepth));
    const QRect* holder = nullptr;
    qint64 most = 0;
    for (const QRect& screen : screens) {
        const QRect grasped = top & screen;
        const QRect shown = saved & screen;
        const qint64 area = qint64(shown.width()) * shown.height();
        if (grasped.width() >= graspableWidth && grasped.height() >= graspableDepth &&
            area > most) {
            holder = &screen;
            most = area;
        }
    }
    const QRect outer = saved.marginsAdded(frame);
    if (!holder) {
        const QRect& primary = screens.front();
        QRect centred(QPoint(), outer.size().boundedTo(primary.size()));
        centred.moveCenter(primary.center());
        return centred.marginsRemoved(frame);
    }
    // Cut to the screen and moved onto it, no edge past the screen's: one from a larger screen
    // or a screen laid out otherwise can be reached by its every edge and its title bar.
    QRect fitted(outer.topLeft(), outer.size().boundedTo(holder->size()));
    fitted.moveLeft(
        std::clamp(fitted.left(), holder->left(), holder->right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), holder->top(), holder->bottom() - fitted.height() + 1));
    return fitted.marginsRemoved(frame);
}

WindowPlacement::WindowPlacement(QWindow& window, QSettings& store)
    : window_(window), store_(store) {
    saved_ = storedGeometry(store.value(geometryKey));
    if (saved_) {
        normal_ = placed(*saved_, availableScreens());
        window.setGeometry(*normal_);
        // The desktop's frame is known only once the window shows.
        window.installEventFilter(this);
    }
    maximised_ = StoredValue::toBool(store.value(maximisedKey));
    for (const auto changed : {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged,
                               &QWindow::heightChanged}) {
        connect(&window, changed, this, &WindowPlacement::follow);
    }
    connect(&window, &QWindow::windowStateChanged, this, &WindowPlacement::follow);
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            &WindowPlacement::save);
    if (maximised_) {
        window.showMaximized();
    } else {
        window.show();
    }
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Expose && window_.isExposed() && saved_) {
        window_.removeEventFilter(this);
        const QRect saved = *std::exchange(saved_, std::nullopt);
        const QMargins frame = window_.frameMargins();
        if (!frame.isNull() && !maximised_) {
            window_.setGeometry(placed(saved, availableScreens(), frame));
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowPlacement::follow() {
    const Qt::WindowStates states = window_.windowStates();
    // Full screen and minimised are for now: the window comes back as it was before them.
    if (!window_.isVisible() || states.testAnyFlags(Qt::WindowFullScreen | Qt::WindowMinimized)) {
        return;
    }
    maximised_ = states.testFlag(Qt::WindowMaximized);
    if (!maximised_) {
        normal_ = window_.geometry();
    }
}

void WindowPlacement::save() {
    // A change whose notice is still on its way counts too.
    follow();
    if (normal_) {
        store_.setValue(geometryKey, QVariantList{normal_->x(), normal_->y(), normal_->width(),
                                                  normal_->height()});
    }
    store_.setValue(maximisedKey, maximised_);
}

}  // namespace qm
