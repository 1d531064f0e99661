#include "Input/DesktopKeyboard.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "Desktop/XcbReply.h"
#include "QuillmereCore/Log.h"

namespace qm {
namespace {

constexpr xcb_keysym_t superLeft = 0xffeb;
constexpr xcb_keysym_t superRight = 0xffec;
constexpr std::string_view handedOnName = "_VANTOREL_KEY_HANDED_ON";

// The keys that type a Super, on any level.
std::vector<std::uint8_t> superKeysOf(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const ReplyPointer<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(
            connection,
            xcb_get_keyboard_mapping(connection, setup->min_keycode, std::uint8_t(count)), nullptr),
        &std::free);
    std::vector<std::uint8_t> keys;
    if (!mapping || mapping->keysyms_per_keycode == 0) {
        return keys;
    }
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int i = 0; i < length; ++i) {
        const std::uint8_t key =
            std::uint8_t(setup->min_keycode + i / mapping->keysyms_per_keycode);
        if ((symbols[i] == superLeft || symbols[i] == superRight) &&
            std::ranges::find(keys, key) == keys.end()) {
            keys.push_back(key);
        }
    }
    return keys;
}

}  // namespace

DesktopKeyboard::DesktopKeyboard() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    connection_ = x11 ? x11->connection() : nullptr;
}

DesktopKeyboard::~DesktopKeyboard() {
    watch(nullptr);
}

void DesktopKeyboard::watch(QWindow* window) {
    if (!connection_ || (window && window == watched_)) {
        return;
    }
    // Without the application its X connection has closed, and the grabs with it.
    if (!QCoreApplication::instance()) {
        connection_ = nullptr;
        return;
    }
    if (watchedId_) {
        grabSuperKeys(false);
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    // A window never shown has no keyboard to share.
    watched_ = window && window->handle() ? window : nullptr;
    watchedId_ = watched_ ? std::uint32_t(watched_->winId()) : 0;
    handOnsUnanswered_ = 0;
    echoKeys_.clear();
    if (!watchedId_) {
        xcb_flush(connection_);
        return;
    }
    if (superKeys_.empty()) {
        superKeys_ = superKeysOf(connection_);
        handedOnAtom_ = atomOf(connection_, handedOnName);
    }
    grabSuperKeys(true);
    xcb_flush(connection_);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

bool DesktopKeyboard::grab(QWindow& window) {
    if (!connection_) {
        return false;
    }
    const ReplyPointer<xcb_grab_keyboard_reply_t> reply(
        xcb_grab_keyboard_reply(
            connection_,
            xcb_grab_keyboard(connection_, 0, xcb_window_t(window.winId()), XCB_CURRENT_TIME,
                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr),
        &std::free);
    const bool taken = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    if (!taken) {
        Log::input().debug("the display refused the keyboard grab");
    }
    return taken;
}

void DesktopKeyboard::release() {
    if (connection_) {
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
}

void DesktopKeyboard::handOn(std::uint8_t keycode) {
    const xcb_query_extension_reply_t* xtest =
        connection_ ? xcb_get_extension_data(connection_, &xcb_test_id) : nullptr;
    if (!xtest || !xtest->present || !watchedId_ || superKeys_.empty()) {
        return;
    }
    // A Super let go already is pressed for the chord, past the window's own grab of it.
    const bool pressSuper = !superDown();
    const std::uint8_t super = superKeys_.front();
    if (pressSuper) {
        grabSuperKeys(false);
        fake(XCB_KEY_PRESS, super);
    }
    fake(XCB_KEY_PRESS, keycode);
    fake(XCB_KEY_RELEASE, keycode);
    if (pressSuper) {
        fake(XCB_KEY_RELEASE, super);
        grabSuperKeys(true);
        echoKeys_.push_back(super);
    }
    echoKeys_.push_back(keycode);
    ++handOnsUnanswered_;
    // The server handles fake keys at once: this comes back after all they brought the window.
    xcb_client_message_event_t end{};
    end.response_type = XCB_CLIENT_MESSAGE;
    end.format = 32;
    end.window = watchedId_;
    end.type = handedOnAtom_;
    xcb_send_event(connection_, 0, watchedId_, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&end));
    xcb_flush(connection_);
}

bool DesktopKeyboard::nativeEventFilter(const QByteArray& /*eventType*/, void* message,
                                        qintptr* /*result*/) {
    if (handOnsUnanswered_ == 0) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE: {
            const std::uint8_t key = static_cast<const xcb_key_press_event_t*>(message)->detail;
            return std::ranges::find(echoKeys_, key) != echoKeys_.end();
        }
        case XCB_CLIENT_MESSAGE: {
            const auto* end = static_cast<const xcb_client_message_event_t*>(message);
            if (end->type != handedOnAtom_ || end->window != watchedId_) {
                return false;
            }
            if (--handOnsUnanswered_ == 0) {
                echoKeys_.clear();
            }
            return true;
        }
        default:
            return false;
    }
}

void DesktopKeyboard::grabSuperKeys(bool grab) {
    for (const std::uint8_t key : superKeys_) {
        // The window may be gone from the display already: its grabs went with it.
        const xcb_void_cookie_t done =
            grab ? xcb_grab_key_checked(connection_, 1, watchedId_, XCB_MOD_MASK_ANY, key,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)
                 : xcb_ungrab_key_checked(connection_, key, watchedId_, XCB_MOD_MASK_ANY);
        xcb_discard_reply(connection_, done.sequence);
    }
}

bool DesktopKeyboard::superDown() const {
    const ReplyPointer<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr), &std::free);
    return keymap && std::ranges::any_of(superKeys_, [&](std::uint8_t key) {
               return (keymap->keys[key / 8] >> (key % 8)) & 1;
           });
}

void DesktopKeyboard::fake(std::uint8_t type, std::uint8_t keycode) {
    xcb_test_fake_input(connection_, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

}  // namespace qm
