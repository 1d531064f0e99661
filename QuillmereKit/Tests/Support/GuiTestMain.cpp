// The main of test programs that draw: a Qt GUI application on the OpenGL backend with contexts
// shared, as the application sets it up, created after gtest has read its flags and not at all
// when the tests are only listed.
#include <QGuiApplication>
#include <QStandardPaths>
#include <optional>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "VideoPipeline/View/VideoView.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QStandardPaths::setTestModeEnabled(true);
    qm::VideoView::prepareApplication();
    QGuiApplication app(argc, argv);
    qm::VideoView::registerQmlType();
    const int result = RUN_ALL_TESTS();
    // Surfaces released from other threads are deleted on this one.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
#if defined(__SANITIZE_ADDRESS__)
    // Leaks are looked for while the OpenGL driver is still loaded: once the application closes
    // the display the driver is unloaded, and its allocations could no longer be told apart
    // from ours by the suppressions.
    __lsan_do_leak_check();
#endif
    return result;
}
