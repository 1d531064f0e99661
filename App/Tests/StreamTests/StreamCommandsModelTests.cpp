#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>
#include <memory>

#include <gtest/gtest.h>

#include "Editor/KeymapFileDialogs.h"
#include "FakeSession.h"
#include "Stream/StreamCommandsModel.h"

namespace qm {
namespace {

class StreamCommandsModelTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    PanelPositions positions{store};
    RecordingController recording{folder.path().toStdString()};
    KeymapFileDialogs dialogs;
    KeymapController keymap{std::string("com.example.game"), std::nullopt, dialogs};
    test::FakeSession session;
    StreamCommandsModel commands;

    void SetUp() override {
        commands.setSettings(&settings);
        commands.setPanelPositions(&positions);
        commands.setRecording(&recording);
    }
};

TEST_F(StreamCommandsModelTest, EnabledStatesFollowTheScreen) {
    struct Case {
        const char* screen;
        bool streamRoute;
        bool withSession;
        bool canRecord;
        bool withKeymap;
        bool canEdit;
        bool canToggleRecording;
    };
    for (const Case& c : {
             Case{"library", false, true, true, false, false, false},
             Case{"stream", true, true, true, true, true, true},
             Case{"iPhone", true, false, false, false, false, false},
             Case{"demo", true, true, false, true, true, false},
         }) {
        SCOPED_TRACE(c.screen);
        session.setCanRecord(c.canRecord);
        commands.setStreamRoute(c.streamRoute);
        commands.setSession(c.withSession ? &session : nullptr);
        commands.setKeymap(c.withKeymap ? &keymap : nullptr);
        EXPECT_EQ(commands.canEdit(), c.canEdit);
        EXPECT_EQ(commands.canToggleRecording(), c.canToggleRecording);
        EXPECT_TRUE(commands.canResetPanels());
    }
}

TEST_F(StreamCommandsModelTest, TitlesAndStatesFollowTheStreamLive) {
    commands.setStreamRoute(true);
    commands.setSession(&session);
    commands.setKeymap(&keymap);
    EXPECT_EQ(commands.muteTitle(), "Mute Sound");
    commands.toggleMute();
    EXPECT_TRUE(session.isAudioMuted());
    EXPECT_EQ(commands.muteTitle(), "Unmute Sound");

    EXPECT_EQ(commands.editTitle(), "Edit Layout");
    keymap.beginEditing();
    EXPECT_EQ(commands.editTitle(), "Save Layout");

    // A demo cannot start a recording, but one already running can always be
    // stopped.
    session.setCanRecord(true);
    recording.start(session);
    session.setCanRecord(false);
    EXPECT_EQ(commands.recordTitle(), "Stop Recording");
    EXPECT_TRUE(commands.canToggleRecording());

    // A keymap controller that goes with its stream window disables the editor
    // command.
    auto closing = std::make_unique<KeymapController>(std::nullopt, std::nullopt, dialogs);
    commands.setKeymap(closing.get());
    EXPECT_TRUE(commands.canEdit());
    closing.reset();
    EXPECT_FALSE(commands.canEdit());
}

// The desktop offers no way in or out of full screen: the menu's item is it, and leaving
// restores the window as it showed before.
TEST_F(StreamCommandsModelTest, FullScreenIsLeftForHowTheWindowShowedBefore) {
    for (const QWindow::Visibility before : {QWindow::Windowed, QWindow::Maximized}) {
        QWindow window;
        window.setVisibility(before);
        commands.setWindow(&window);
        EXPECT_EQ(commands.fullScreenTitle(), "Enter Full Screen");
        commands.toggleFullScreen();
        EXPECT_EQ(window.visibility(), QWindow::FullScreen);
        EXPECT_EQ(commands.fullScreenTitle(), "Exit Full Screen");
        commands.toggleFullScreen();
        EXPECT_EQ(window.visibility(), before);
        EXPECT_EQ(commands.fullScreenTitle(), "Enter Full Screen");
    }
}

TEST_F(StreamCommandsModelTest, SwitchHudCyclesThroughTheStyles) {
    const HUDStyle start = settings.hudStyle();
    commands.switchHud();
    EXPECT_NE(settings.hudStyle(), start);
    commands.switchHud();
    commands.switchHud();
    EXPECT_EQ(settings.hudStyle(), start);
}

}  // namespace
}  // namespace qm
