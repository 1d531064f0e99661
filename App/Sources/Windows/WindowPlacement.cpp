#include "Windows/WindowPlacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVariantList>
#include <array>
#include <cstdlib>

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

QRect WindowPlacement::placed(QRect saved, const QList<QRect>& screens) {
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
    if (!holder) {
        const QRect& primary = screens.front();
        QRect centred(QPoint(), saved.size().boundedTo(primary.size()));
        centred.moveCenter(primary.center());
        return centred;
    }
    // As wide or as tall as the screen (cut to it, maybe), the window also moves onto it, no
    // edge past the screen's.
    QRect fitted(saved.topLeft(), saved.size().boundedTo(holder->size()));
    if (fitted.width() == holder->width()) {
        fitted.moveLeft(holder->left());
    }
    if (fitted.height() == holder->height()) {
        fitted.moveTop(holder->top());
    }
    return fitted;
}

WindowPlacement::WindowPlacement(QWindow& window, QSettings& store)
    : window_(window), store_(store) {
    if (const std::optional<QRect> saved = storedGeometry(store.value(geometryKey))) {
        normal_ = placed(*saved, availableScreens());
        window.setGeometry(*normal_);
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
