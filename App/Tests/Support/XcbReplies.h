#pragma once

#include <cstdlib>

#include <xcb/xcb.h>

#include "Desktop/XcbReply.h"

namespace qm::test {

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
