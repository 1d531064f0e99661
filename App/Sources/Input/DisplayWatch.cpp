#include "Input/DisplayWatch.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>

#include <xcb/xcb.h>

#include "Desktop/XcbReply.h"

namespace qm {
namespace {

std::uint64_t hostMs() {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

// The display's stamp of an event that has one.
std::optional<std::uint32_t> stampOf(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE:
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE:
        case XCB_MOTION_NOTIFY:
        case XCB_ENTER_NOTIFY:
        case XCB_LEAVE_NOTIFY:
            return reinterpret_cast<const xcb_key_press_event_t&>(event).time;
        case XCB_PROPERTY_NOTIFY:
            return reinterpret_cast<const xcb_property_notify_event_t&>(event).time;
        default:
            return std::nullopt;
    }
}

}  // namespace

void DisplayClock::seen(std::uint32_t stamp, std::uint64_t hostMs) {
    // Modulo 2^32, as the display's time wraps.
    const std::uint32_t gap = std::uint32_t(hostMs) - stamp;
    if (!offset_ || std::int32_t(gap - offset(hostMs)) < 0) {
        offset_ = gap;
        offsetAt_ = hostMs;
    }
}

std::optional<std::uint32_t> DisplayClock::now(std::uint64_t hostMs) const {
    if (!offset_) {
        return std::nullopt;
    }
    return std::uint32_t(hostMs) - offset(hostMs);
}

std::uint32_t DisplayClock::offset(std::uint64_t hostMs) const {
    return *offset_ + std::uint32_t((hostMs - offsetAt_) / 1000);
}

DisplayWatch& DisplayWatch::shared() {
    static DisplayWatch watch;
    return watch;
}

DisplayWatch::DisplayWatch() : connection_(x11Connection()) {
    if (!connection_) {
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    activeAtom_ = atomOf(connection_, "_NET_ACTIVE_WINDOW");
    // Beside what Qt asked of the root, which a new mask would replace.
    const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, root_),
                                        nullptr),
        &std::free);
    const std::uint32_t mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    active_ = readActive();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

DisplayWatch::~DisplayWatch() {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->removeNativeEventFilter(this);
    }
}

std::optional<std::uint32_t> DisplayWatch::now() const {
    return connection_ ? clock_.now(hostMs()) : std::nullopt;
}

bool DisplayWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                     qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto& event = *static_cast<const xcb_generic_event_t*>(message);
    if (const std::optional<std::uint32_t> stamp = stampOf(event)) {
        clock_.seen(*stamp, hostMs());
    }
    if ((event.response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
        return false;
    }
    const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if (change.window == root_ && change.atom == activeAtom_) {
        const std::optional<std::uint32_t> active = readActive();
        if (active != active_) {
            active_ = active;
            emit activeWindowChanged();
        }
    }
    return false;
}

std::optional<std::uint32_t> DisplayWatch::readActive() const {
    const ReplyPointer<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, root_, activeAtom_, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_WINDOW ||
        xcb_get_property_value_length(reply.get()) < int(sizeof(std::uint32_t))) {
        return std::nullopt;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
}

}  // namespace qm
