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

using namespace std::chrono_literals;

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

// The phone's server killed and started again on clocks of its own: the next clip's sound
// plays with its picture.
TEST_F(PhoneRecordingTest, AClipAfterTheServerCameBackHasItsSoundWithItsPicture) {
    script_.videoOnPhoneClock = true;
    script_.clockOffsetNanos = 2'837'512'904'113;
    stream();
    // The new server stamps its sound 40 s after its picture.
    FakeServerScript restarted = script_;
    restarted.soundStampShiftMicros = 40'000'000;
    server().setScript(restarted);
    server().die("Killed\n");
    ASSERT_TRUE(until([&] {
        return session_->phase() == SessionPhase::waitingForDevice() && timers_->pending() == 1;
    }));
    timers_->advance(500ms);
    ASSERT_TRUE(streams());
    // The new stream's own picture and sound.
    ASSERT_TRUE(framesArrive(1));
    ASSERT_TRUE(until([&] { return players_.size() == 2 && players_.back()->packets > 0; }));
    overlay.toggleRecording();
    ASSERT_TRUE(framesArrive(60));
    overlay.toggleRecording();
    ASSERT_TRUE(until([&] { return !controller.lastFileName().isEmpty(); }))
        << controller.errorMessage().toStdString();

    const std::optional<TrackSpan> picture = trackSpan(savedFile(), 'v');
    const std::optional<TrackSpan> sound = trackSpan(savedFile(), 'a');
    ASSERT_TRUE(picture && sound) << commandOutput("ffprobe -show_streams '" +
                                                   savedFile().string() + "'");
    // Together from the start, and no stretch of the file without sound between them.
    EXPECT_NEAR(sound->start, picture->start, 0.1);
    EXPECT_NEAR(sound->end - sound->start, sound->soundPlayed(), 0.1);
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
