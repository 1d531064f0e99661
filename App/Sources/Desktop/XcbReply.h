#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace qm {

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

}  // namespace qm
