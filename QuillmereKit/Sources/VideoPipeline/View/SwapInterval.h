#pragma once

class QOpenGLContext;
class QWindow;

namespace qm {

// Sets how many display refreshes a swap of `window` waits for (0: none, the frame is shown as
// soon as it is drawn), on the thread where `context`, the window's, is current: Qt applies a
// window's swap interval only once, when the window is made. GLX and EGL; false where neither
// takes it.
bool setSwapInterval(QOpenGLContext& context, QWindow& window, int interval);

}  // namespace qm
