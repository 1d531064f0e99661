#include "SceneWindows.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

#include <xcb/xcb.h>

#include "Desktop/XcbReply.h"

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

// Qt gives every OpenGL window of the process one colormap. Tools that rebuild the screen's
// picture window by window (xwd, and grabs under a compositor) then fill a window lying wholly
// over another of the same colormap from the one below: black or stale, though the screen is
// right. A colormap of its own for each secondary window keeps every such picture true.
void separateColormap(QWindow& window) {
    xcb_connection_t* connection = x11Connection();
    if (!connection || !window.transientParent()) {
        return;
    }
    // Once for each native window: Qt makes a new one only when it recreates the window.
    const QVariant separated = window.property("qmSeparateColormap");
    if (separated.isValid() && separated.value<WId>() == window.winId()) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, id),
                                        nullptr),
        &std::free);
    const ReplyPointer<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr), &std::free);
    if (!attributes || !geometry) {
        return;
    }
    const xcb_colormap_t colormap = xcb_generate_id(connection);
    xcb_create_colormap(connection, XCB_COLORMAP_ALLOC_NONE, colormap, geometry->root,
                        attributes->visual);
    // Not freed: freeing it would take it from the window. It goes with the connection.
    xcb_change_window_attributes(connection, id, XCB_CW_COLORMAP, &colormap);
    window.setProperty("qmSeparateColormap", QVariant::fromValue(window.winId()));
}

// Asks the window manager to show the window and give it the keyboard, as a task bar does for
// the user. Qt asks only for a window it holds mapped, and the desktop's "show desktop" unmaps
// every window: the window would stay hidden.
void activateOnUsersBehalf(QWindow& window) {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return;
    }
    const xcb_atom_t activeWindow = atomOf(connection, "_NET_ACTIVE_WINDOW");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (activeWindow == XCB_ATOM_NONE || !screen) {
        return;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window.winId());
    message.type = activeWindow;
    message.data.data32[0] = 2;  // the source: the user, through a pager or task bar
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// The item the window's keys go to while it is active, through its focus scopes: in a window not
// yet active, no item has the active focus.
QQuickItem* keysHolder(const QQuickWindow& window) {
    QQuickItem* item = window.contentItem();
    while (item && item->isFocusScope() && item->scopedFocusItem()) {
        item = item->scopedFocusItem();
    }
    return item;
}

// The control that had the keys when the window was last in front, or else its first control,
// takes them with the ring Tab shows: until Tab, a keyboard user saw no focus.
void focusControl(QQuickWindow& window) {
    QQuickItem* control = keysHolder(window);
    if (!control || !control->activeFocusOnTab()) {
        SceneWindows::focusFirstControl(&window);
    } else if (!control->hasActiveFocus()) {
        control->forceActiveFocus(Qt::TabFocusReason);
    } else if (control->metaObject()->indexOfProperty("focusReason") >= 0) {
        // It has them again as the window became active, which shows no ring.
        control->setProperty("focusReason", QVariant::fromValue(Qt::TabFocusReason));
    }
}

// Once the window has the keyboard: given before, the keys reach the control only as the window
// becomes active, and as if by that, with no ring.
void focusControlOnceActive(QWindow& window) {
    auto* quick = qobject_cast<QQuickWindow*>(&window);
    if (!quick) {
        return;
    }
    if (quick->activeFocusItem()) {
        focusControl(*quick);
        return;
    }
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        QObject::connect(quick, &QQuickWindow::activeFocusItemChanged, quick, [quick, connection] {
            if (quick->activeFocusItem()) {
                QObject::disconnect(*connection);
                focusControl(*quick);
            }
        });
}

}  // namespace

void SceneWindows::add(const QString& id, QWindow* window) {
    windows_.insert(id, window);
}

void SceneWindows::open(const QString& id) {
    bringForward(windows_.value(id));
}

void SceneWindows::closeAll() {
    for (const QPointer<QWindow>& window : std::as_const(windows_)) {
        if (window && window->isVisible()) {
            window->close();
        }
    }
}

void SceneWindows::bringForward(QWindow* window) {
    if (!window) {
        return;
    }
    if (!window->isVisible()) {
        separateColormap(*window);
        centreOverParent(*window);
        window->show();
    } else {
        if (window->visibility() == QWindow::Minimized) {
            window->showNormal();
        }
        activateOnUsersBehalf(*window);
    }
    window->raise();
    window->requestActivate();
    // A secondary window's: the main window's keys over a stream are the game's.
    if (window->transientParent()) {
        focusControlOnceActive(*window);
    }
}

void SceneWindows::focusFirstControl(QQuickWindow* window) {
    QQuickItem* control = window ? window->contentItem()->nextItemInFocusChain(true) : nullptr;
    if (control && control->activeFocusOnTab()) {
        control->forceActiveFocus(Qt::TabFocusReason);
    }
}

bool SceneWindows::popupHoldsKeys(const QQuickItem* item) {
    const QQuickWindow* window = item ? item->window() : nullptr;
    if (!window) {
        return false;
    }
    for (const QQuickItem* holder = keysHolder(*window); holder; holder = holder->parentItem()) {
        if (holder->inherits("QQuickOverlay")) {
            return true;
        }
    }
    return false;
}

}  // namespace qm
