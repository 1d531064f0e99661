#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace qm {

// The display's time, in its milliseconds, told from the host's steady clock: the display
// stamps each event before the app reads it, so the smallest gap seen between a stamp and its
// reading is the clocks' offset. The gap is let grow by a millisecond a second since, as the two
// clocks may drift apart.
class DisplayClock {
public:
    void seen(std::uint32_t stamp, std::uint64_t hostMs);
    // None before the first event.
    std::optional<std::uint32_t> now(std::uint64_t hostMs) const;

private:
    std::uint32_t offset(std::uint64_t hostMs) const;

    std::optional<std::uint32_t> offset_;
    std::uint64_t offsetAt_ = 0;
};

// What the X display says of itself that the app's windows do not: which window the window
// manager has made the active one (_NET_ACTIVE_WINDOW on the root, followed by its
// PropertyNotify, as the app's own focus events miss a change while it holds the keyboard), and
// its time now. Nothing off X11. GUI thread only.
class DisplayWatch final : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    static DisplayWatch& shared();

    // None when no window manager names one, or off X11.
    std::optional<std::uint32_t> activeWindow() const { return active_; }
    // None off X11, and before the first event.
    std::optional<std::uint32_t> now() const;

signals:
    void activeWindowChanged();

private:
    DisplayWatch();
    ~DisplayWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    std::optional<std::uint32_t> readActive() const;

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t activeAtom_ = 0;
    std::optional<std::uint32_t> active_;
    DisplayClock clock_;
};

}  // namespace qm
