#include "VideoPipeline/View/SwapInterval.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QWindow>

#include <QtGui/qguiapplication_platform.h>
#include <QtGui/qopenglcontext_platform.h>

namespace qm {

namespace {

bool listed(const char* extensions, const char* name) {
    return extensions && QByteArray(extensions).split(' ').contains(name);
}

#if QT_CONFIG(xcb_glx_plugin)
bool setGlxSwapInterval(QOpenGLContext& context, QWindow& window, int interval) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        return false;
    }
    using QueryExtensions = const char* (*)(Display*, int);
    using SwapIntervalEXT = void (*)(Display*, unsigned long, int);
    using SwapIntervalMESA = int (*)(unsigned int);
    const auto query =
        reinterpret_cast<QueryExtensions>(context.getProcAddress("glXQueryExtensionsString"));
    // The application's X connection has one screen: RandR spans outputs, not screens.
    const char* extensions = query ? query(x11->display(), 0) : nullptr;
    if (listed(extensions, "GLX_EXT_swap_control")) {
        if (const auto set =
                reinterpret_cast<SwapIntervalEXT>(context.getProcAddress("glXSwapIntervalEXT"))) {
            set(x11->display(), static_cast<unsigned long>(window.winId()), interval);
            return true;
        }
    }
    if (listed(extensions, "GLX_MESA_swap_control")) {
        if (const auto set =
                reinterpret_cast<SwapIntervalMESA>(context.getProcAddress("glXSwapIntervalMESA"))) {
            return set(static_cast<unsigned int>(interval)) == 0;
        }
    }
    return false;
}
#endif

}  // namespace

bool setSwapInterval(QOpenGLContext& context, [[maybe_unused]] QWindow& window, int interval) {
#if QT_CONFIG(xcb_glx_plugin)
    if (context.nativeInterface<QNativeInterface::QGLXContext>()) {
        return setGlxSwapInterval(context, window, interval);
    }
#endif
#if QT_CONFIG(egl)
    if (auto* egl = context.nativeInterface<QNativeInterface::QEGLContext>()) {
        using SwapInterval = unsigned int (*)(EGLDisplay, int);
        if (const auto set =
                reinterpret_cast<SwapInterval>(context.getProcAddress("eglSwapInterval"))) {
            return set(egl->display(), interval) != 0;
        }
    }
#endif
    return false;
}

}  // namespace qm
