#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>

#include "Input/RawMouseHub.h"

struct xcb_connection_t;

namespace qm {

// Raw mouse motion from XInput2: XI_RawMotion of the master pointers, selected on the root
// window while active and read through a native event filter on Qt's own X connection. On a
// platform other than xcb, or an X server without XInput2, it never reports. GUI thread only.
class XInputRawMouseSource final : public RawMouseSource, private QAbstractNativeEventFilter {
public:
    XInputRawMouseSource() = default;
    ~XInputRawMouseSource() override;

    void activate(Handler handler) override;
    void deactivate() override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    void select(bool rawMotion);

    Handler handler_;
    xcb_connection_t* connection_ = nullptr;  // while selected
    std::uint8_t opcode_ = 0;
    bool loggedMissing_ = false;
};

}  // namespace qm
