#pragma once

#include <cstdint>
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

// A window of no size to ask the window manager about; it reports its property changes.
inline xcb_window_t makeProbe(xcb_connection_t* connection, xcb_window_t root) {
    const xcb_window_t probe = xcb_generate_id(connection);
    const std::uint32_t propertyChanges = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &propertyChanges);
    return probe;
}

// Asks the window manager for a window's frame extents (`request` is
// _NET_REQUEST_FRAME_EXTENTS): it answers in the order it was asked, with the window's
// _NET_FRAME_EXTENTS.
inline void askFrameExtents(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                            xcb_atom_t request) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = request;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

}  // namespace qm::test
