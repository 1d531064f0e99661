#include "DesktopUser.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QScreen>
#include <cstdlib>
#include <string>
#include <utility>

#include <xcb/xcb.h>

#include "ViewTesting.h"
#include "XcbReplies.h"

namespace qm::test {

namespace {

// The share of the pixels in which the screen differs from the window's own picture by more
// than the smoothing of an edge; `offset` is where the screen's picture starts in the window's.
double unlikeShare(const QImage& drawn, const QImage& screen, QPoint offset) {
    constexpr int slack = 32;
    const QImage own = drawn.convertToFormat(QImage::Format_RGB32);
    const QImage seen = screen.convertToFormat(QImage::Format_RGB32);
    const QRect compared = seen.rect().translated(offset) & own.rect();
    if (compared.isEmpty()) {
        return 1.0;
    }
    long long unlike = 0;
    for (int y = compared.top(); y <= compared.bottom(); ++y) {
        const auto* ownRow = reinterpret_cast<const QRgb*>(own.constScanLine(y));
        const auto* seenRow = reinterpret_cast<const QRgb*>(seen.constScanLine(y - offset.y()));
        for (int x = compared.left(); x <= compared.right(); ++x) {
            const QRgb a = ownRow[x];
            const QRgb b = seenRow[x - offset.x()];
            unlike += std::abs(qRed(a) - qRed(b)) > slack ||
                      std::abs(qGreen(a) - qGreen(b)) > slack ||
                      std::abs(qBlue(a) - qBlue(b)) > slack;
        }
    }
    return double(unlike) / (double(compared.width()) * double(compared.height()));
}

// A text as shown: "&File" shows as "File", "Keyboard && Mouse" as "Keyboard & Mouse".
QString shownText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove('&');
    text.replace('\x01', '&');
    return text;
}

bool isOfType(const QObject& object, const char* type) {
    if (!type || object.inherits(type)) {
        return true;
    }
    // A QML type's class is named after it: "MenuItem_QMLTYPE_12".
    return QByteArray(object.metaObject()->className()).startsWith(QByteArray(type) + "_QML");
}

QQuickItem* firstShown(QQuickItem* root, const std::function<bool(const QQuickItem&)>& matches) {
    return shownItems(root, matches).value(0);
}

bool focusInPopup(const QQuickWindow& window) {
    for (const QQuickItem* item = window.activeFocusItem(); item; item = item->parentItem()) {
        if (item->inherits("QQuickPopupItem")) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Counts the pointer events the application's windows receive, and keeps the windows it shows
// until they are looked at, those already shown first.
class DesktopUser::Seen : public QObject {
public:
    Seen() {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            noteShown(window);
        }
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~Seen() override { QCoreApplication::instance()->removeEventFilter(this); }

    int count(QEvent::Type type) const { return counts_.value(type); }

    QList<QPointer<QQuickWindow>> takeShown() { return std::exchange(shown_, {}); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (receiver->isWindowType() &&
            (type == QEvent::MouseMove || type == QEvent::MouseButtonPress ||
             type == QEvent::MouseButtonRelease || type == QEvent::KeyPress)) {
            ++counts_[type];
        } else if (type == QEvent::Show && receiver->isWindowType()) {
            noteShown(static_cast<QWindow*>(receiver));
        }
        return false;
    }

private:
    void noteShown(QWindow* window) {
        auto* quick = qobject_cast<QQuickWindow*>(window);
        if (quick && quick->isVisible() && !shown_.contains(quick)) {
            shown_.append(quick);
        }
    }

    QHash<QEvent::Type, int> counts_;
    QList<QPointer<QQuickWindow>> shown_;
};

// Tells when the application has handled the window manager's answer about a window, and with
// it everything the X server sent the application before: one queue brings both, in order.
class DesktopUser::Answer : public QAbstractNativeEventFilter {
public:
    Answer() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~Answer() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    void expect(xcb_window_t window, xcb_atom_t property) {
        window_ = window;
        property_ = property;
        answered_ = false;
    }
    bool answered() const { return answered_; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type == "xcb_generic_event_t" && (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            answered_ = answered_ || (notify->window == window_ && notify->atom == property_ &&
                                      notify->state == XCB_PROPERTY_NEW_VALUE);
        }
        return false;
    }

private:
    xcb_window_t window_ = XCB_WINDOW_NONE;
    xcb_atom_t property_ = XCB_ATOM_NONE;
    bool answered_ = false;
};

DesktopUser::DesktopUser() : seen_(std::make_unique<Seen>()), answer_(std::make_unique<Answer>()) {}

DesktopUser::~DesktopUser() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (probe_ && x11) {
        xcb_destroy_window(x11->connection(), probe_);
        xcb_flush(x11->connection());
    }
}

::testing::AssertionResult DesktopUser::seen(QEvent::Type type, int before) {
    if (!waitFor([&] { return seen_->count(type) > before; })) {
        return ::testing::AssertionFailure() << "the application never got the pointer event";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::lookAtShownWindows() {
    for (const QPointer<QQuickWindow>& window : seen_->takeShown()) {
        if (window && window->isVisible()) {
            if (auto drawn = showsAsDrawn(*window); !drawn) {
                return drawn;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::showsAsDrawn(QQuickWindow& window) {
    const std::string title = window.title().toStdString();
    if (!waitFor([&] { return window.isExposed(); })) {
        return ::testing::AssertionFailure() << '"' << title << "\" never showed";
    }
    // Until both pictures are of one moment: the window may still be placed or animating.
    double unlike = 1.0;
    const bool alike = waitFor([&] {
        const QRect shown = window.geometry() & window.screen()->geometry();
        if (shown.isEmpty()) {
            return false;
        }
        // A grab of the root window: what the screen shows there.
        const QImage screen =
            window.screen()
                ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
                .toImage();
        const QPoint offset =
            (shown.topLeft() - window.geometry().topLeft()) * window.devicePixelRatio();
        unlike = unlikeShare(window.grabWindow(), screen, offset);
        return unlike <= 0.01;
    });
    if (!alike) {
        return ::testing::AssertionFailure()
               << "the screen does not show \"" << title
               << "\" as the application drew it: " << int(unlike * 100) << "% of it differs";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::press(const QString& chord) {
    if (auto looked = lookAtShownWindows(); !looked) {
        return looked;
    }
    const QStringList keys = chord.split(u'+');
    if (keys.size() < 2) {
        return hands_.press(chord);
    }
    // The application takes the keyboard from the window manager while Super is held.
    const QString modifiers = keys.mid(0, keys.size() - 1).join(u'+');
    const int before = seen_->count(QEvent::KeyPress);
    if (auto held = hands_.hold(modifiers); !held) {
        return held;
    }
    if (!waitFor([&] { return seen_->count(QEvent::KeyPress) >= before + keys.size() - 1; })) {
        static_cast<void>(hands_.release(modifiers));
        return ::testing::AssertionFailure()
               << "the application never saw " << modifiers.toStdString() << " go down";
    }
    auto pressed = hands_.press(keys.back());
    auto released = hands_.release(modifiers);
    return pressed ? released : pressed;
}

::testing::AssertionResult DesktopUser::moveTo(QPoint to) {
    // The server reports no motion to where the pointer already is.
    if (QCursor::pos() == to) {
        return ::testing::AssertionSuccess();
    }
    const int moves = seen_->count(QEvent::MouseMove);
    hands_.moveTo(to);
    return seen(QEvent::MouseMove, moves);
}

::testing::AssertionResult DesktopUser::drag(QPoint from, QPoint to) {
    if (auto looked = lookAtShownWindows(); !looked) {
        return looked;
    }
    constexpr int steps = 4;
    if (auto moved = moveTo(from); !moved) {
        return moved;
    }
    const int presses = seen_->count(QEvent::MouseButtonPress);
    hands_.pressButton();
    if (auto pressed = seen(QEvent::MouseButtonPress, presses); !pressed) {
        return pressed;
    }
    for (int step = 1; step <= steps; ++step) {
        if (auto moved = moveTo(from + (to - from) * step / steps); !moved) {
            return moved;
        }
    }
    const int releases = seen_->count(QEvent::MouseButtonRelease);
    hands_.releaseButton();
    return seen(QEvent::MouseButtonRelease, releases);
}

QQuickWindow* DesktopUser::window(const QString& title) {
    for (QWindow* each : QGuiApplication::topLevelWindows()) {
        auto* quick = qobject_cast<QQuickWindow*>(each);
        if (quick && quick->isVisible() && quick->title() == title) {
            return quick;
        }
    }
    return nullptr;
}

QQuickWindow* DesktopUser::focusWindow() {
    return qobject_cast<QQuickWindow*>(QGuiApplication::focusWindow());
}

QQuickWindow* DesktopUser::frontWindow() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return nullptr;
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t stacking = atomOf(connection, "_NET_CLIENT_LIST_STACKING");
    const ReplyPointer<xcb_get_property_reply_t> list(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, stacking, XCB_ATOM_WINDOW, 0, 1024),
            nullptr),
        &std::free);
    if (!list || stacking == XCB_ATOM_NONE) {
        return nullptr;
    }
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    // Bottom to top.
    for (int at = xcb_get_property_value_length(list.get()) / int(sizeof(xcb_window_t));
         at-- > 0;) {
        for (QWindow* each : QGuiApplication::topLevelWindows()) {
            auto* quick = qobject_cast<QQuickWindow*>(each);
            if (quick && quick->isVisible() && xcb_window_t(quick->winId()) == ids[at]) {
                return quick;
            }
        }
    }
    return nullptr;
}

QQuickItem* DesktopUser::shown(QQuickWindow& window, const QString& name) {
    return firstShown(window.contentItem(),
                      [&](const QQuickItem& item) { return item.objectName() == name; });
}

QList<QQuickItem*> DesktopUser::allShown(QQuickWindow& window,
                                         const std::function<bool(const QQuickItem&)>& matches) {
    return shownItems(window.contentItem(), matches);
}

QQuickItem* DesktopUser::shownWithText(QQuickWindow& window, const QString& text,
                                       const char* type) {
    return shownWithText(
        window, [&](const QString& shown) { return shown == text; }, type);
}

QQuickItem* DesktopUser::shownWithText(QQuickWindow& window,
                                       const std::function<bool(const QString&)>& matches,
                                       const char* type) {
    return firstShown(window.contentItem(), [&](const QQuickItem& item) {
        const QVariant shown = item.property("text");
        return shown.isValid() && isOfType(item, type) && matches(shownText(shown.toString()));
    });
}

::testing::AssertionResult DesktopUser::click(QQuickItem* item, int clicks) {
    if (!item) {
        return ::testing::AssertionFailure() << "nothing to click";
    }
    QQuickWindow* window = item->window();
    if (!waitFor([&] {
            return item->window() && item->isVisible() && item->isEnabled() && window->isExposed();
        })) {
        return ::testing::AssertionFailure()
               << "\"" << shownText(item->property("text").toString()).toStdString() << "\" ("
               << item->objectName().toStdString() << ") never showed enabled";
    }
    if (auto placed = arranged(*window); !placed) {
        return placed;
    }
    if (!waitForFrame(*window)) {
        return ::testing::AssertionFailure() << "the window drew no frame";
    }
    if (auto looked = lookAtShownWindows(); !looked) {
        return looked;
    }
    QPoint at = item->mapToGlobal(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    // Two quick clicks on one spot are a double click, which a button takes for no click; a
    // hand never lands twice on the same pixel.
    if (clicks == 1 && (at - lastClick_).manhattanLength() <= doubleClickDistance) {
        at += item->width() > item->height() ? QPoint(doubleClickDistance + 1, 0)
                                             : QPoint(0, doubleClickDistance + 1);
    }
    lastClick_ = at;
    // The window manager holds a click until it has acted on it (openbox focuses and raises the
    // window), but not the keys typed next: a key sent at once can reach the app first.
    const int releases = seen_->count(QEvent::MouseButtonRelease);
    hands_.click(at);
    // The next ones of a double click as a hand's, each some 120 ms after the one before.
    for (int i = 1; i < clicks; ++i) {
        hands_.clickLater(at, 120);
    }
    return seen(QEvent::MouseButtonRelease, releases + clicks - 1);
}

::testing::AssertionResult DesktopUser::activate(QQuickWindow& window) {
    if (auto looked = lookAtShownWindows(); !looked) {
        return looked;
    }
    if (!waitFor([&] { return window.isExposed(); })) {
        return ::testing::AssertionFailure() << window.title().toStdString() << " never showed";
    }
    // As the desktop's task list asks the window manager: a request from a pager is granted
    // whatever window has the focus, one from the application itself may not be.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return ::testing::AssertionFailure() << "not on X11";
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_atom_t activeWindow = atomOf(connection, "_NET_ACTIVE_WINDOW");
    if (activeWindow == XCB_ATOM_NONE) {
        return ::testing::AssertionFailure() << "no _NET_ACTIVE_WINDOW";
    }
    constexpr std::uint32_t fromPager = 2;
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = xcb_window_t(window.winId());
    request.type = activeWindow;
    request.data.data32[0] = fromPager;
    request.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&request));
    hands_.sync();
    // Qt may still believe the window has the focus it lost, and the window manager may not
    // have made it the active one yet.
    const auto isActive = [&] {
        const ReplyPointer<xcb_get_property_reply_t> active(
            xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, root, activeWindow, XCB_ATOM_WINDOW, 0, 1),
                nullptr),
            &std::free);
        return active && xcb_get_property_value_length(active.get()) == 4 &&
               *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get())) ==
                   request.window;
    };
    if (!waitFor([&] { return QGuiApplication::focusWindow() == &window && isActive(); })) {
        return ::testing::AssertionFailure()
               << window.title().toStdString() << " did not take the keyboard";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult DesktopUser::arranged(QQuickWindow& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return ::testing::AssertionFailure() << "not on X11";
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (!probe_) {
        probe_ = makeProbe(connection, root);
        extents_ = atomOf(connection, "_NET_FRAME_EXTENTS");
        requestExtents_ = atomOf(connection, "_NET_REQUEST_FRAME_EXTENTS");
    }
    // The manager answers in the order it was asked: once it has answered this, sent on the
    // application's connection after the window's requests, it has handled them, and once the
    // application has read the answer it has read what the manager did to the window before.
    xcb_delete_property(connection, probe_, extents_);
    answer_->expect(probe_, extents_);
    askFrameExtents(connection, root, probe_, requestExtents_);
    if (!waitFor([&] { return answer_->answered(); })) {
        return ::testing::AssertionFailure() << "the window manager did not answer";
    }
    if (!waitFor([&] {
            const bool covers = window.geometry() == window.screen()->geometry();
            return covers == (window.visibility() == QWindow::FullScreen);
        })) {
        return ::testing::AssertionFailure()
               << '"' << window.title().toStdString() << "\" never took the place it asked for";
    }
    return ::testing::AssertionSuccess();
}

QObject* DesktopUser::openMenu(QQuickWindow& window, const QString& title) {
    if (!arranged(window)) {
        ADD_FAILURE() << "the window manager left the window where it was";
        return nullptr;
    }
    // A full screen shows its menu bar while the pointer is at the top edge, and keeps it while
    // the pointer stays on the bar; a bar found shown without it may be on its way out.
    if (window.visibility() == QWindow::FullScreen) {
        if (auto moved = moveTo(window.mapToGlobal(QPoint(window.width() / 2, 0))); !moved) {
            ADD_FAILURE() << moved.message();
            return nullptr;
        }
    }
    QQuickItem* bar = nullptr;
    if (!waitFor([&] { return (bar = shownWithText(window, title, "QQuickMenuBarItem")); })) {
        ADD_FAILURE() << "no menu \"" << title.toStdString() << "\" in the menu bar";
        return nullptr;
    }
    auto* menu = bar->property("menu").value<QObject*>();
    // With another menu open, the pointer on the title opens this one already.
    const QPoint onTitle = bar->mapToGlobal(bar->boundingRect().center()).toPoint();
    if (auto moved = moveTo(onTitle); !moved) {
        ADD_FAILURE() << moved.message();
        return nullptr;
    }
    if (!menu->property("visible").toBool()) {
        if (auto clicked = click(bar); !clicked) {
            ADD_FAILURE() << clicked.message();
            return nullptr;
        }
    }
    if (!waitFor([&] { return menu->property("opened").toBool(); }) || !waitForFrame(window)) {
        ADD_FAILURE() << "the menu \"" << title.toStdString() << "\" did not open";
        return nullptr;
    }
    return menu;
}

::testing::AssertionResult DesktopUser::choose(QQuickWindow& window, const QStringList& path) {
    if (path.size() < 2 || !openMenu(window, path.front())) {
        return ::testing::AssertionFailure() << "cannot open " << path.join(" > ").toStdString();
    }
    for (qsizetype step = 1; step < path.size(); ++step) {
        QQuickItem* item = nullptr;
        if (!waitFor([&] { return (item = menuItem(window, path[step])) != nullptr; })) {
            return ::testing::AssertionFailure()
                   << "no item \"" << path[step].toStdString() << "\" in "
                   << path.mid(0, step).join(" > ").toStdString();
        }
        if (auto clicked = click(item); !clicked) {
            return clicked << " in " << path.join(" > ").toStdString();
        }
        if (auto* submenu = item->property("subMenu").value<QObject*>()) {
            if (!waitFor([&] { return submenu->property("opened").toBool(); })) {
                return ::testing::AssertionFailure()
                       << path.mid(0, step + 1).join(" > ").toStdString() << " did not open";
            }
        }
    }
    if (!waitFor([&] { return !menuOpen(window); })) {
        return ::testing::AssertionFailure()
               << "the menu stayed open after " << path.join(" > ").toStdString();
    }
    return ::testing::AssertionSuccess();
}

QQuickItem* DesktopUser::menuItem(QQuickWindow& window, const QString& text) {
    return shownWithText(window, text, "QQuickMenuItem");
}

int DesktopUser::openMenus(QQuickWindow& window) {
    int open = 0;
    // A popup's item sits in the window's overlay, a child of its content item.
    for (QQuickItem* child : window.contentItem()->childItems()) {
        for (QQuickItem* popup : child->childItems()) {
            const bool isMenu = popup->isVisible() && popup->inherits("QQuickPopupItem") &&
                                firstShown(popup, [](const QQuickItem& item) {
                                    return isOfType(item, "QQuickMenuItem");
                                });
            open += isMenu;
        }
    }
    return open;
}

::testing::AssertionResult DesktopUser::closeMenus(QQuickWindow& window) {
    // Escape first takes the highlight off a menu's item that has the focus, then closes the
    // menu; each press shows one of these changes.
    for (int presses = 2 * openMenus(window); openMenus(window) > 0; --presses) {
        const int open = openMenus(window);
        const QQuickItem* focus = window.activeFocusItem();
        if (presses == 0) {
            return ::testing::AssertionFailure() << "Escape left " << open << " menus open";
        }
        if (auto pressed = press("Escape"); !pressed) {
            return pressed;
        }
        if (!waitFor(
                [&] { return openMenus(window) < open || window.activeFocusItem() != focus; })) {
            return ::testing::AssertionFailure()
                   << "Escape did nothing to " << open << " open menus";
        }
        // A closed submenu hands the keyboard back to its menu a moment later.
        if (!waitFor([&] { return openMenus(window) == 0 || focusInPopup(window); })) {
            return ::testing::AssertionFailure() << "no open menu took the keyboard back";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace qm::test
