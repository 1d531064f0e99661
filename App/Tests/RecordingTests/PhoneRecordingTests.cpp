// Recording a real session's stream from the fake phone, through the record button's action.
#include <QDBusConnection>
#include <QDateTime>
#include <QTemporaryDir>
#include <filesystem>

#include <gtest/gtest.h>

#include "Recording/RecordingController.h"
#include "Recording/RecordingOverlayModel.h"
#include "Support/CommandOutput.h"
#include "Support/FakePhoneSessionTest.h"
#include "Support/ManualTimerSource.h"

namespace qm::test {
namespace {

class PhoneRecordingTest : public FakePhoneSessionTest {
protected:
    void SetUp() override {
        FakePhoneSessionTest::SetUp();
        script_.pacedVideo = script_.loopVideo = true;
        script_.pacedAudio = true;
        script_.audioPackets = 1500;  // 30 s
    }

    // The stream plays with sound and the overlay shows the record button.
    void stream() {
        Session& session = connect();
        settle(session.start(std::nullopt, ServerOptions(0x1234)));
        ASSERT_TRUE(playsWithSound());
        overlay.setSession(&session);
        ASSERT_TRUE(overlay.showsRecordPanel());
    }

    std::filesystem::path savedFile() const {
        return std::filesystem::path(controller.lastFile().toLocalFile().toStdString());
    }

    QTemporaryDir movies;
    ManualTimerSource ticks;
    const QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(7, 31, 24), Qt::UTC);
    RecordingController controller{movies.path().toStdString(),
                                   FileReveal(QDBusConnection(QString()), {}),
                                   [this] { return now; }};
    RecordingOverlayModel overlay{controller, ticks, [this] { return now; }};
};

TEST_F(PhoneRecordingTest, TwoSecondsRecordedAndStoppedHoldVideoAndStereoAac) {
    stream();
    overlay.toggleRecording();
    ASSERT_TRUE(overlay.showsPill()) << controller.errorMessage().toStdString();
    ASSERT_TRUE(framesArrive(60));  // 2 s of the phone's 30 fps
    overlay.toggleRecording();
    EXPECT_FALSE(overlay.showsPill());
    ASSERT_TRUE(until([&] { return !controller.lastFileName().isEmpty(); }))
        << controller.errorMessage().toStdString();
    EXPECT_EQ(savedFile().parent_path(),
              std::filesystem::path(movies.filePath("Vantorel").toStdString()));

    const nlohmann::json tracks = probedStreams(savedFile());
    ASSERT_EQ(tracks.size(), 2u) << tracks;
    EXPECT_EQ(tracks[0]["codec_name"], "h264");
    EXPECT_EQ(tracks[1]["codec_name"], "aac");
    EXPECT_EQ(tracks[1]["channels"], 2);
}

TEST_F(PhoneRecordingTest, APulledCableEndsThePillAndTheFileIsStillSaved) {
    stream();
    overlay.toggleRecording();
    ASSERT_TRUE(framesArrive(20));

    usb_.detach(phoneA.interfaceID);
    ASSERT_TRUE(until([&] { return !overlay.showsPill(); }));
    EXPECT_FALSE(controller.isRecording());
    ASSERT_TRUE(until([&] { return !controller.isFinishing(); }));
    EXPECT_TRUE(controller.errorMessage().isEmpty()) << controller.errorMessage().toStdString();
    ASSERT_FALSE(controller.lastFileName().isEmpty());
    EXPECT_EQ(probedStreams(savedFile())[0]["codec_name"], "h264");
}

}  // namespace
}  // namespace qm::test
