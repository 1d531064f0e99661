#include "Input/DesktopKeyboard.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ranges>
#include <string_view>
#include <utility>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "Desktop/XcbReply.h"
#include "QuillmereCore/Log.h"

namespace qm {
namespace {

constexpr std::array<xcb_keysym_t, 2> supers{0xffeb, 0xffec};
constexpr std::array<xcb_keysym_t, 2> alts{0xffe9, 0xffea};
constexpr std::array<xcb_keysym_t, 2> shifts{0xffe1, 0xffe2};
constexpr std::string_view handedOnName = "_VANTOREL_KEY_HANDED_ON";

// The keys that type one of the symbols unshifted: only those set their modifier when pressed.
std::vector<std::uint8_t> keysOf(xcb_connection_t* connection,
                                 const xcb_get_keyboard_mapping_reply_t* mapping,
                                 const std::array<xcb_keysym_t, 2>& symbols) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    std::vector<std::uint8_t> keys;
    if (!mapping || mapping->keysyms_per_keycode == 0) {
        return keys;
    }
    const xcb_keysym_t* typed = xcb_get_keyboard_mapping_keysyms(mapping);
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping);
    for (int i = 0; i < length; i += mapping->keysyms_per_keycode) {
        if (std::ranges::find(symbols, typed[i]) != symbols.end()) {
            keys.push_back(std::uint8_t(setup->min_keycode + i / mapping->keysyms_per_keycode));
        }
    }
    return keys;
}

bool downIn(const xcb_query_keymap_reply_t* keymap, std::uint8_t key) {
    return keymap && (keymap->keys[key / 8] >> (key % 8)) & 1;
}

bool anyDownIn(const xcb_query_keymap_reply_t* keymap, const std::vector<std::uint8_t>& keys) {
    return std::ranges::any_of(keys, [&](std::uint8_t key) { return downIn(keymap, key); });
}

}  // namespace

DesktopKeyboard::DesktopKeyboard() : DesktopKeyboard(x11Connection(), KeyWatcher::installed()) {}

DesktopKeyboard::DesktopKeyboard(xcb_connection_t* connection, std::string watcher,
                                 KeepLimits limits)
    : connection_(connection), watcherProgram_(std::move(watcher)), keepLimits_(limits) {
    keptLimit_.setSingleShot(true);
    keptLimit_.callOnTimeout([this] { releaseKept(); });
}

DesktopKeyboard::~DesktopKeyboard() {
    watch(nullptr);
    // Before the timer its end is told through goes.
    watcher_.reset();
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
        endSuperHold();
        releaseKept();
        grabSuperKeys(false);
    }
    // A window never shown has no keyboard to share.
    watched_ = window && window->handle() ? window : nullptr;
    watchedId_ = watched_ ? std::uint32_t(watched_->winId()) : 0;
    echoes_.clear();
    waiting_.clear();
    if (!watchedId_) {
        xcb_flush(connection_);
        return;
    }
    if (superKeys_.empty()) {
        const auto mapping = keyboardMapping(connection_);
        superKeys_ = keysOf(connection_, mapping.get(), supers);
        altKeys_ = keysOf(connection_, mapping.get(), alts);
        shiftKeys_ = keysOf(connection_, mapping.get(), shifts);
        handedOnAtom_ = atomOf(connection_, handedOnName);
    }
    grabSuperKeys(true);
    xcb_flush(connection_);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

bool DesktopKeyboard::grab(QWindow& window) {
    // The window manager is about to take the keyboard for a chord handed on.
    if (!connection_ || !waiting_.empty() || !kept_.empty()) {
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
    grabbedFor_ = taken ? xcb_window_t(window.winId()) : 0;
    superHeld_ = superHeld_ && !taken;
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
    grabbedFor_ = 0;
    superHeld_ = false;
}

void DesktopKeyboard::handOn(std::uint8_t keycode, DesktopChord chord) {
    const xcb_query_extension_reply_t* xtest =
        connection_ ? xcb_get_extension_data(connection_, &xcb_test_id) : nullptr;
    if (!xtest || !xtest->present || !watchedId_ ||
        (chord.held == ChordModifier::super ? superKeys_ : altKeys_).empty() ||
        (chord.shifted && shiftKeys_.empty())) {
        return;
    }
    waiting_.push_back({keycode, chord});
    handOnWaiting();
}

bool DesktopKeyboard::isDown(std::uint8_t key) {
    return connection_ && downIn(keysDown(connection_).get(), key);
}

void DesktopKeyboard::handOnWaiting() {
    if (waiting_.empty()) {
        return;
    }
    // The app may come to a chord late, the user's next keys already typed: they are read as
    // they stand. Asked before the server is held: a client stopped or not scheduled while it
    // holds the server, waiting for an answer, would freeze every other client of the display.
    const xcb_get_input_focus_cookie_t focusAsked = xcb_get_input_focus(connection_);
    const ReplyPointer<xcb_query_keymap_reply_t> keymap = keysDown(connection_);
    const ReplyPointer<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, focusAsked, nullptr), &std::free);
    // What a hand-on keeps down is down, also where the answer came before it.
    const auto down = [&](std::uint8_t key) {
        return downIn(keymap.get(), key) || std::ranges::find(kept_, key) != kept_.end();
    };
    bool held = false;
    while (!waiting_.empty()) {
        const auto [keycode, chord] = waiting_.front();
        // Held again for a later chord, the key would only repeat: it waits until it goes up.
        if (down(keycode)) {
            break;
        }
        waiting_.pop_front();
        // A modifier let go already is pressed for the chord, a Super past the window's own grab
        // of it. One the user holds may go up before the server is held, which would leave the
        // chord without it: a Super chord, which keeps nothing down, presses one of each of its
        // modifiers that is up beside the user's. An Alt chord's are kept, for a switcher that
        // waits for the user's. The user may also press one for the next chord meanwhile, and a
        // press of a key already down is lost while its release counts: the right-hand key,
        // the keymap's last, is the one people type chords with least.
        const bool alt = chord.held == ChordModifier::alt;
        std::vector<std::uint8_t> modifiers;
        const auto pressFor = [&](const std::vector<std::uint8_t>& keys) {
            const auto lastFirst = keys | std::views::reverse;
            const auto up =
                std::ranges::find_if(lastFirst, [&](std::uint8_t key) { return !down(key); });
            if (up != lastFirst.end() && (!alt || std::ranges::none_of(keys, down))) {
                modifiers.push_back(*up);
            }
        };
        if (chord.shifted) {
            pressFor(shiftKeys_);
        }
        pressFor(alt ? altKeys_ : superKeys_);
        // Until the chords are on their way nobody else's requests are handled, so that the
        // user's own keys land neither inside a chord nor among what comes back of it. Only
        // requests that want no answer go in between, and all leave at once.
        if (!std::exchange(held, true)) {
            xcb_grab_server(connection_);
            // The window's grab, the one a next Super took as well, would take the chord back.
            xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        }
        // A switcher would never see the release of an Alt pressed here, let go at once.
        const bool keep = alt && !modifiers.empty() && guard(modifiers);
        if (keep && kept_.empty()) {
            keyboardElsewhere_ = false;
            keptLimit_.start(keepLimits_.watched);
        }
        typeChord(keycode, modifiers, keep);
        if (keep) {
            kept_.insert(kept_.end(), modifiers.begin(), modifiers.end());
        }
    }
    if (!held) {
        return;
    }
    // The game's grab stays, unless a switcher is to take the keyboard.
    if (!kept_.empty()) {
        grabbedFor_ = 0;
    } else if (grabbedFor_) {
        xcb_discard_reply(connection_,
                          xcb_grab_keyboard(connection_, 0, grabbedFor_, XCB_CURRENT_TIME,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)
                              .sequence);
    } else if (focus && focus->focus == watchedId_ && anyDownIn(keymap.get(), superKeys_)) {
        // A busy app hands a chord on after the user pressed Super again for the next one, whose
        // grab went above: the keyboard stays the window's until that Super goes up, as it
        // would have, else the next chord's key goes to the desktop's binding of it.
        xcb_discard_reply(connection_,
                          xcb_grab_keyboard(connection_, 0, watchedId_, XCB_CURRENT_TIME,
                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)
                              .sequence);
        superHeld_ = true;
    }
    xcb_ungrab_server(connection_);
    xcb_flush(connection_);
    // Let go before the grab, that Super's release came to nobody.
    if (superHeld_) {
        const ReplyPointer<xcb_query_keymap_reply_t> now = keysDown(connection_);
        if (!anyDownIn(now.get(), superKeys_)) {
            endSuperHold();
        }
    }
}

void DesktopKeyboard::endSuperHold() {
    if (std::exchange(superHeld_, false) && !grabbedFor_ && connection_) {
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
}

void DesktopKeyboard::typeChord(std::uint8_t keycode, const std::vector<std::uint8_t>& modifiers,
                                bool keep) {
    const bool pressSuper = std::ranges::any_of(modifiers, [&](std::uint8_t key) {
        return std::ranges::find(superKeys_, key) != superKeys_.end();
    });
    if (pressSuper) {
        grabSuperKeys(false);
    }
    std::optional<std::uint32_t> first;
    std::uint32_t last = 0;
    const auto send = [&](std::uint8_t type, std::uint8_t key) {
        last = fake(type, key);
        first = first.value_or(last);
    };
    for (const std::uint8_t modifier : modifiers) {
        send(XCB_KEY_PRESS, modifier);
    }
    send(XCB_KEY_PRESS, keycode);
    send(XCB_KEY_RELEASE, keycode);
    if (!keep) {
        std::ranges::for_each(modifiers | std::views::reverse,
                              [&](std::uint8_t modifier) { send(XCB_KEY_RELEASE, modifier); });
    }
    if (pressSuper) {
        grabSuperKeys(true);
    }
    std::array<std::uint8_t, 3> keys{keycode, keycode, keycode};
    std::ranges::copy(modifiers | std::views::take(2), keys.begin() + 1);
    noteEchoes(keys, *first, last);
}

void DesktopKeyboard::noteEchoes(const std::array<std::uint8_t, 3>& keys, std::uint32_t first,
                                 std::uint32_t last) {
    echoes_.push_back({keys, first, last});
    // The server handles fake keys at once: this comes back after all they brought the window.
    xcb_client_message_event_t end{};
    end.response_type = XCB_CLIENT_MESSAGE;
    end.format = 32;
    end.window = watchedId_;
    end.type = handedOnAtom_;
    end.data.data32[0] = last;
    xcb_send_event(connection_, 0, watchedId_, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&end));
}

void DesktopKeyboard::releaseKeptOnceTaken() {
    if (!kept_.empty() && keyboardElsewhere_ && echoes_.empty()) {
        releaseKept();
    }
}

void DesktopKeyboard::releaseKept() {
    keptLimit_.stop();
    if (kept_.empty() || !connection_) {
        return;
    }
    std::array<std::uint8_t, 3> keys{};
    keys.fill(kept_.front());
    std::ranges::copy(kept_ | std::views::take(3), keys.begin());
    std::optional<std::uint32_t> first;
    std::uint32_t last = 0;
    for (const std::uint8_t key : kept_ | std::views::reverse) {
        last = fake(XCB_KEY_RELEASE, key);
        first = first.value_or(last);
    }
    noteEchoes(keys, *first, last);
    xcb_flush(connection_);
    for (const std::uint8_t key : kept_) {
        watcher_->unguard(key);
    }
    kept_.clear();
}

bool DesktopKeyboard::guard(const std::vector<std::uint8_t>& keys) {
    if (!watcher_ || !watcher_->guarding()) {
        watcher_ = std::make_unique<KeyWatcher>(watcherProgram_, [this] {
            QMetaObject::invokeMethod(
                &keptLimit_, [this] { releaseKept(); }, Qt::QueuedConnection);
        });
    }
    for (const std::uint8_t key : keys) {
        watcher_->guard(key);
    }
    return watcher_->guarding();
}

bool DesktopKeyboard::nativeEventFilter(const QByteArray& /*eventType*/, void* message,
                                        qintptr* /*result*/) {
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    // A hand-on's end is ours even when it is no longer awaited: Qt would warn of a message it
    // does not know.
    if (type != XCB_CLIENT_MESSAGE && echoes_.empty() && waiting_.empty() && kept_.empty() &&
        !superHeld_) {
        return false;
    }
    switch (type) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE: {
            // An event carries the number of this client's last request the server had handled:
            // a hand-on's own are those its fake keys made, the user's keys come before or after.
            const std::uint8_t key = static_cast<const xcb_key_press_event_t*>(message)->detail;
            const bool echo = std::ranges::any_of(echoes_, [&](const Echoes& echoes) {
                return std::ranges::find(echoes.keys, key) != echoes.keys.end() &&
                       std::uint16_t(event->sequence - echoes.first) <=
                           std::uint16_t(echoes.last - echoes.first);
            });
            if (echo || type != XCB_KEY_RELEASE) {
                return echo;
            }
            if (superHeld_ && std::ranges::find(superKeys_, key) != superKeys_.end()) {
                endSuperHold();
            }
            if (!waiting_.empty() && waiting_.front().keycode == key) {
                handOnWaiting();
            }
            return false;
        }
        case XCB_CLIENT_MESSAGE: {
            const auto* end = static_cast<const xcb_client_message_event_t*>(message);
            if (handedOnAtom_ == XCB_NONE || end->type != handedOnAtom_) {
                return false;
            }
            // One sent before the window was watched again is no longer awaited.
            if (end->window != watchedId_) {
                return true;
            }
            const auto ended = std::ranges::find(echoes_, end->data.data32[0], &Echoes::last);
            if (ended != echoes_.end()) {
                echoes_.erase(echoes_.begin(), ended + 1);
            }
            releaseKeptOnceTaken();
            return true;
        }
        case XCB_FOCUS_IN:
        case XCB_FOCUS_OUT: {
            // Out as another client grabs the keyboard, in as it lets go; the focus moving out.
            const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
            if (focus->event == watchedId_ && focus->detail != XCB_NOTIFY_DETAIL_POINTER) {
                keyboardElsewhere_ = type == XCB_FOCUS_OUT;
                releaseKeptOnceTaken();
            }
            return false;
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

std::uint32_t DesktopKeyboard::fake(std::uint8_t type, std::uint8_t keycode) {
    return xcb_test_fake_input(connection_, type, keycode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0)
        .sequence;
}

}  // namespace qm
