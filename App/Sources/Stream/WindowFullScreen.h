#pragma once

class QWindow;

namespace qm::WindowFullScreen {

// Full screen of a window, the one way the app enters and leaves it whoever asks (the stream's
// policy, Escape, the menu, Ctrl+Super+F): entering remembers how the window showed (maximized
// or not), leaving restores that. GUI thread only.
bool isOn(const QWindow& window);
void toggle(QWindow& window);

}  // namespace qm::WindowFullScreen
