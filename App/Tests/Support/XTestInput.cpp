#include "XTestInput.h"

#include <QGuiApplication>
#include <QHash>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "XcbReplies.h"

namespace qm::test {

namespace {

constexpr std::uint32_t shiftSymbol = 0xffe1;

// X key symbols of the key names Qt's key sequences use.
std::uint32_t symbolOf(const QString& name) {
    static const QHash<QString, std::uint32_t> named{
        {"Meta", 0xffeb},    {"Ctrl", 0xffe3},      {"Shift", shiftSymbol}, {"Alt", 0xffe9},
        {"Escape", 0xff1b},  {"Return", 0xff0d},    {"Enter", 0xff0d},      {"Tab", 0xff09},
        {"Backtab", 0xff09}, {"Backspace", 0xff08}, {"Delete", 0xffff},     {"Space", 0x20},
        {"Left", 0xff51},    {"Up", 0xff52},        {"Right", 0xff53},      {"Down", 0xff54},
        {"Home", 0xff50},    {"End", 0xff57},       {"PgUp", 0xff55},       {"PgDown", 0xff56},
    };
    if (const auto found = named.constFind(name); found != named.constEnd()) {
        return *found;
    }
    // Qt names the keypad's Delete and Enter as the others: here they go by their X names.
    if (name == u"KP_Delete") {
        return 0xff9f;
    }
    if (name == u"KP_Enter") {
        return 0xff8d;
    }
    if (name.size() > 1 && name.startsWith('F')) {
        bool number = false;
        const int index = name.mid(1).toInt(&number);
        return number && index >= 1 && index <= 12 ? 0xffbe + std::uint32_t(index - 1) : 0;
    }
    if (name.size() != 1 || name[0].unicode() < 0x20 || name[0].unicode() > 0x7e) {
        return 0;
    }
    // Qt writes a letter key in capitals; its key symbol is the small letter.
    return name[0].toLower().unicode();
}

}  // namespace

XTestInput::XTestInput() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) {
        ADD_FAILURE() << "XTest input needs the application on X11";
        return;
    }
    connection_ = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    root_ = xcb_setup_roots_iterator(setup).data->root;
    firstCode_ = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    ReplyPointer<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, firstCode_, std::uint8_t(count)),
            nullptr),
        &std::free);
    if (!mapping) {
        ADD_FAILURE() << "the X server gave no keyboard mapping";
        return;
    }
    perCode_ = mapping->keysyms_per_keycode;
    const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
    symbols_.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));
}

XTestInput::Key XTestInput::keyOf(std::uint32_t symbol) const {
    // The first two levels only: no key here needs AltGr.
    for (int level = 0; level < std::min(perCode_, 2); ++level) {
        for (std::size_t code = 0; code * perCode_ < symbols_.size(); ++code) {
            if (symbols_[code * perCode_ + level] == symbol) {
                return {std::uint8_t(firstCode_ + code), level == 1};
            }
        }
    }
    return {};
}

::testing::AssertionResult XTestInput::keysOf(const QString& chord,
                                              std::vector<std::uint8_t>& codes) {
    if (!connection_) {
        return ::testing::AssertionFailure() << "no X connection";
    }
    // "Meta++" would name the plus key; no shortcut here uses it.
    const QStringList names = chord.split('+');
    const std::uint8_t shift = keyOf(shiftSymbol).code;
    for (const QString& name : names) {
        const std::uint32_t symbol = symbolOf(name);
        const Key key = symbol ? keyOf(symbol) : Key{};
        if (key.code == 0) {
            return ::testing::AssertionFailure()
                   << "no key for \"" << name.toStdString() << "\" in " << chord.toStdString();
        }
        if (key.shifted && !names.contains("Shift")) {
            codes.push_back(shift);
        }
        codes.push_back(key.code);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult XTestInput::press(const QString& chord) {
    if (auto held = hold(chord); !held) {
        return held;
    }
    return release(chord);
}

::testing::AssertionResult XTestInput::hold(const QString& chord) {
    std::vector<std::uint8_t> codes;
    if (auto found = keysOf(chord, codes); !found) {
        return found;
    }
    for (const std::uint8_t code : codes) {
        send(XCB_KEY_PRESS, code);
    }
    sync();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult XTestInput::release(const QString& chord) {
    std::vector<std::uint8_t> codes;
    if (auto found = keysOf(chord, codes); !found) {
        return found;
    }
    for (auto code = codes.rbegin(); code != codes.rend(); ++code) {
        send(XCB_KEY_RELEASE, *code);
    }
    sync();
    return ::testing::AssertionSuccess();
}

void XTestInput::moveTo(QPoint global) {
    send(XCB_MOTION_NOTIFY, 0, global);
    sync();
}

void XTestInput::moveBy(QPoint delta) {
    send(XCB_MOTION_NOTIFY, 1, delta);
    sync();
}

void XTestInput::click(QPoint global, std::uint8_t button) {
    send(XCB_MOTION_NOTIFY, 0, global);
    send(XCB_BUTTON_PRESS, button);
    send(XCB_BUTTON_RELEASE, button);
    sync();
}

void XTestInput::clickLater(QPoint global, std::uint32_t milliseconds, std::uint8_t button) {
    // The server holds the first event that long, and the client's requests after it.
    send(XCB_MOTION_NOTIFY, 0, global, milliseconds);
    send(XCB_BUTTON_PRESS, button);
    send(XCB_BUTTON_RELEASE, button);
    if (connection_) {
        xcb_flush(connection_);
    }
}

void XTestInput::pressButton(std::uint8_t button) {
    send(XCB_BUTTON_PRESS, button);
    sync();
}

void XTestInput::releaseButton(std::uint8_t button) {
    send(XCB_BUTTON_RELEASE, button);
    sync();
}

void XTestInput::sync() {
    if (connection_) {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
}

void XTestInput::send(std::uint8_t type, std::uint8_t detail, QPoint at, std::uint32_t delay) {
    if (!connection_) {
        return;
    }
    // A motion's detail says whether it is relative; an absolute one is on the root window.
    const bool absolute = type == XCB_MOTION_NOTIFY && detail == 0;
    xcb_test_fake_input(connection_, type, detail, delay, absolute ? root_ : XCB_NONE,
                        std::int16_t(at.x()), std::int16_t(at.y()), 0);
}

}  // namespace qm::test
