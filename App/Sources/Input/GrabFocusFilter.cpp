#include "Input/GrabFocusFilter.h"

#include <QCoreApplication>
#include <utility>

#include <xcb/xcb.h>

namespace qm {

GrabFocusFilter::GrabFocusFilter() {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

GrabFocusFilter::~GrabFocusFilter() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeNativeEventFilter(this);
    }
}

bool GrabFocusFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                        qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const std::optional<std::uint32_t> from = std::exchange(grabbedFrom_, std::nullopt);
    const std::uint8_t type =
        static_cast<const xcb_generic_event_t*>(message)->response_type & 0x7f;
    if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT) {
        return false;
    }
    // The server reports a grab's start as a focus out of the focus window and, next, a focus in
    // to the grab window; only this client grabs for its own windows.
    auto* focus = static_cast<xcb_focus_in_event_t*>(message);
    if (focus->mode != XCB_NOTIFY_MODE_GRAB || focus->detail == XCB_NOTIFY_DETAIL_POINTER) {
        return false;
    }
    if (type == XCB_FOCUS_OUT) {
        grabbedFrom_ = focus->event;
    } else if (from) {
        focus->event = *from;
    }
    return false;
}

}  // namespace qm
