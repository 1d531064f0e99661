#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace qm::test {

// A reply of the X server, freed with it.
template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

inline xcb_atom_t atomOf(xcb_connection_t* connection, std::string_view name) {
    const ReplyPointer<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, std::uint16_t(name.size()), name.data()),
            nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether a window has the property with a value.
inline bool hasProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t atom) {
    if (atom == XCB_ATOM_NONE) {
        return false;
    }
    const ReplyPointer<xcb_get_property_reply_t> property(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, atom, XCB_ATOM_ANY, 0, 1), nullptr),
        &std::free);
    return property && xcb_get_property_value_length(property.get()) > 0;
}

}  // namespace qm::test
