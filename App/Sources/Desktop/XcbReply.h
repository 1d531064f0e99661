#pragma once

#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace qm {

// The application's connection to the X server; none off X11, or before the application is made.
// Other platforms (offscreen among them) may answer as X11 without a connection.
inline xcb_connection_t* x11Connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && QGuiApplication::platformName() == QLatin1String("xcb") ? x11->connection()
                                                                          : nullptr;
}

// A reply of the X server, freed with it.
template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

// The atom of that name, made when missing; none when the server did not answer.
inline xcb_atom_t atomOf(xcb_connection_t* connection, std::string_view name) {
    const ReplyPointer<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(name.size()), name.data()),
            nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The display's keys down now, a bit to a key code; none when the server did not answer.
inline ReplyPointer<xcb_query_keymap_reply_t> keysDown(xcb_connection_t* connection) {
    return {xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr), &std::free};
}

// The symbols every key of the display types, keysyms_per_keycode to a key from the setup's
// min_keycode; none when the server did not answer.
inline ReplyPointer<xcb_get_keyboard_mapping_reply_t> keyboardMapping(
    xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    return {
        xcb_get_keyboard_mapping_reply(
            connection,
            xcb_get_keyboard_mapping(connection, setup->min_keycode, std::uint8_t(count)), nullptr),
        &std::free};
}

}  // namespace qm
