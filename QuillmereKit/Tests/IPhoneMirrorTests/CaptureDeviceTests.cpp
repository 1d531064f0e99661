#include <QTest>
#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "IPhoneMirror/IPhoneCaptureError.h"
#include "IPhoneMirror/IPhoneCaptureSession.h"
#include "IPhoneMirror/IPhoneWatcher.h"
#include "IPhoneMirror/QtCaptureDeviceSource.h"

namespace qm {
namespace {

TEST(IPhoneCaptureSessionTest, RefusesAnInputThatIsNotListed) {
    IPhoneCaptureSession session([](DecodedFrame) {});
    try {
        session.start("/dev/no-such-video-input");
        FAIL() << "started";
    } catch (const IPhoneCaptureError& error) {
        EXPECT_EQ(error.kind(), IPhoneCaptureErrorKind::deviceGone);
    }
}

// Qt Multimedia and its backend as the app runs them; a frame needs a video input.
TEST(CaptureDeviceTest, ListsWatchesAndCapturesTheSystemsVideoInputs) {
    QtCaptureDeviceSource source;
    const std::vector<VideoInput> inputs = source.videoInputs();
    {
        IPhoneWatcher watcher(std::make_unique<QtCaptureDeviceSource>(),
                              QtTimerSource().makeTimer(), [](const VideoInput&) { return true; });
        int reports = 0;
        watcher.onChange = [&](const std::vector<IPhoneDevice>&) { ++reports; };
        watcher.start();
        EXPECT_EQ(watcher.devices().size(), inputs.size());
        EXPECT_EQ(reports, inputs.empty() ? 0 : 1);
        watcher.stop();
    }
    if (inputs.empty()) {
        GTEST_SKIP() << "no video input on this machine";
    }

    std::atomic<int> frames = 0;
    IPhoneCaptureSession session([&](DecodedFrame frame) {
        if (frame.pixelBuffer) {
            ++frames;
        }
    });
    session.start(inputs.front().id);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 10'000));
    session.stop();
}

}  // namespace
}  // namespace qm
