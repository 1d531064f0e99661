#include "Input/HeldKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <cstdint>
#include <cstdlib>

#include <xcb/xcb.h>
// The XKB header names a member `explicit`, which C++ keeps for itself.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit explicitComponents
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

#include "Desktop/XcbReply.h"
#include "QuillmereCore/Log.h"

namespace qm {
namespace {

// X repeats the key held last within its delay, under a second, and then every few dozen
// milliseconds; a key held otherwise makes no press until let go. A press this long after the
// key's last one comes after a release that went to another client, under its grab.
constexpr quint64 repeatGapLimit = 2000;  // ms of the display's time

// X repeats a held key as a release and a press, which Qt takes for the key let go unless the
// press has already reached it: on a busy machine a held key lifts and presses again. The
// server can repeat the press alone, for this client; where it will not, Qt's guess stays.
// True when it will.
bool detectAutoRepeat(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present) {
        return false;
    }
    xcb_discard_reply(
        connection,
        xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION).sequence);
    constexpr std::uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    const ReplyPointer<xcb_xkb_per_client_flags_reply_t> reply(
        xcb_xkb_per_client_flags_reply(
            connection,
            xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
            nullptr),
        &std::free);
    if (!reply || !(reply->value & flag)) {
        Log::input().debug("the display repeats held keys as releases and presses");
        return false;
    }
    return true;
}

std::optional<std::bitset<256>> keysDownOn(xcb_connection_t* connection) {
    const ReplyPointer<xcb_query_keymap_reply_t> reply = keysDown(connection);
    if (!reply) {
        return std::nullopt;
    }
    std::bitset<256> down;
    for (std::size_t key = 0; key < down.size(); ++key) {
        down[key] = (reply->keys[key / 8] >> (key % 8)) & 1;
    }
    return down;
}

}  // namespace

HeldKeys& HeldKeys::shared() {
    static HeldKeys keys;
    return keys;
}

HeldKeys::HeldKeys() {
    xcb_connection_t* connection = x11Connection();
    exact_ = connection && detectAutoRepeat(connection);
    if (connection) {
        readDisplay_ = [connection] { return keysDownOn(connection); };
    }
    QCoreApplication::instance()->installEventFilter(this);
}

HeldKeys::~HeldKeys() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeEventFilter(this);
    }
}

bool HeldKeys::began(const QKeyEvent& key) {
    const bool press = key.type() != QEvent::KeyRelease;
    const quint32 code = key.nativeScanCode();
    if (code == 0 || code >= down_.size()) {
        return press && !key.isAutoRepeat();  // not the display's: Qt's word is all there is
    }
    Seen& last = last_[code];
    // The same event again, on its way to the window's items or to another filter.
    if (last.valid && last.press == press && last.time == key.timestamp()) {
        return last.began;
    }
    // Qt guesses a repeat from a release and a press of one time, which is also a key typed
    // fast: where the display repeats presses alone, a release is one.
    const bool repeatGuessed = !exact_ && key.isAutoRepeat();
    bool began = false;
    if (press) {
        const bool releaseUnseen = last.valid && key.timestamp() > last.time + repeatGapLimit;
        began = !repeatGuessed && (!down_[code] || releaseUnseen);
        // A hold first seen at a repeat went down with what that repeat says is held.
        if (began || !down_[code]) {
            underSuper_[code] = key.modifiers().testFlag(Qt::MetaModifier);
        }
        down_[code] = true;
    } else if (!repeatGuessed) {
        down_[code] = false;
    }
    last = {true, press, key.timestamp(), began};
    return began;
}

bool HeldKeys::firesSuperChord(const QKeyEvent& key) {
    return key.modifiers().testFlag(Qt::MetaModifier) && began(key);
}

bool HeldKeys::wentDownUnderSuper(const QKeyEvent& key) {
    const quint32 code = key.nativeScanCode();
    if (began(key) || code == 0 || code >= down_.size()) {
        return key.modifiers().testFlag(Qt::MetaModifier);
    }
    return underSuper_[code];
}

void HeldKeys::forget() {
    down_.reset();
    underSuper_.reset();
    last_.fill({});
}

void HeldKeys::letGoOfKeysUp() {
    if (down_.none() || !readDisplay_) {
        return;
    }
    if (const std::optional<std::bitset<256>> display = readDisplay_()) {
        down_ &= *display;
    }
}

bool HeldKeys::eventFilter(QObject* receiver, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusIn:
            // A release goes where the display's focus is: to no window of the app's, when the
            // window it was pressed in closed under it. Held on, the next press of the key would
            // pass for a repeat of it. An item's focus moving inside a window changes nothing.
            if (receiver->isWindowType()) {
                letGoOfKeysUp();
            }
            break;
        case QEvent::ApplicationStateChange:
            if (static_cast<const QApplicationStateChangeEvent&>(*event).applicationState() !=
                Qt::ApplicationActive) {
                forget();
            }
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            began(static_cast<const QKeyEvent&>(*event));
            break;
        default:
            break;
    }
    return false;
}

}  // namespace qm
