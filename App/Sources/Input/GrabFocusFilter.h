#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <optional>

namespace qm {

// Keeps the app's own keyboard grabs from moving its focus. X reports a grab as the focus going
// from the focus window to the grab window, and Qt takes that for the person's doing, as window
// managers do not. A game's grab taken a moment after the window manager gave another window of
// the app the keyboard (Settings, the guide) would make the stream's window the active one again
// to Qt, which gives it the keyboard once more: the keys typed in the window in front play the
// game. The grab's arrival is told to Qt as the focus staying where it was, on X11, while it
// lives. GUI thread only.
class GrabFocusFilter final : private QAbstractNativeEventFilter {
public:
    GrabFocusFilter();
    GrabFocusFilter(const GrabFocusFilter&) = delete;
    GrabFocusFilter& operator=(const GrabFocusFilter&) = delete;
    ~GrabFocusFilter() override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The window of this client that a grab just took the focus from: the focus is still there.
    std::optional<std::uint32_t> grabbedFrom_;
};

}  // namespace qm
