#include "Input/XInputRawMouseSource.h"

#include <QCoreApplication>
#include <span>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include "Desktop/XcbReply.h"
#include "Input/RawMotionEvent.h"
#include "QuillmereCore/Log.h"

namespace qm {

XInputRawMouseSource::~XInputRawMouseSource() {
    deactivate();
}

void XInputRawMouseSource::activate(Handler handler) {
    handler_ = std::move(handler);
    if (connection_) {
        return;
    }
    xcb_connection_t* connection = x11Connection();
    const xcb_query_extension_reply_t* xinput =
        connection ? xcb_get_extension_data(connection, &xcb_input_id) : nullptr;
    if (!xinput || !xinput->present) {
        if (!loggedMissing_) {
            loggedMissing_ = true;
            Log::input().info("raw mouse: no XInput2 on an X11 display, using pointer deltas");
        }
        return;
    }
    connection_ = connection;
    opcode_ = xinput->major_opcode;
    QCoreApplication::instance()->installNativeEventFilter(this);
    select(true);
}

void XInputRawMouseSource::deactivate() {
    handler_ = nullptr;
    if (!connection_) {
        return;
    }
    // Without the application its X connection has closed, and the selection with it.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        select(false);
        app->removeNativeEventFilter(this);
    }
    connection_ = nullptr;
}

void XInputRawMouseSource::select(bool rawMotion) {
    // Only the master devices: a selection for all devices on the root would replace Qt's own.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           rawMotion ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION) : 0u};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_input_xi_select_events(connection_, root, 1, &mask.head);
    xcb_flush(connection_);
}

bool XInputRawMouseSource::nativeEventFilter(const QByteArray& eventType, void* message,
                                             qintptr* /*result*/) {
    if (!handler_ || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(message);
    // libxcb holds every event in at least its header's size; a generic event in all it claims.
    const std::span<const std::uint8_t, RawMotionEvent::headerSize> header(
        bytes, RawMotionEvent::headerSize);
    if ((header[0] & 0x7F) != XCB_GE_GENERIC || header[1] != opcode_) {
        return false;
    }
    if (const auto motion =
            RawMotionEvent::parse({bytes, RawMotionEvent::claimedSize(header)}, opcode_)) {
        handler_(float(motion->dx), float(-motion->dy));
    }
    return false;  // Qt may want the event too
}

}  // namespace qm
