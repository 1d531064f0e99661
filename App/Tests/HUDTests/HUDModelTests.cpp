#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Editor/KeymapController.h"
#include "FakeSession.h"
#include "HUD/HUDLayerModel.h"
#include "HUD/HUDTexts.h"
#include "HUD/StreamToolbarModel.h"
#include "Input/InputCoordinator.h"
#include "Input/InputModel.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileTemplates.h"
#include "Storage/AppSettings.h"
#include "Support/ManualTimerSource.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

PhoneTelemetry telemetry(int thermalStatus) {
    PhoneTelemetry phone;
    phone.thermalStatus = thermalStatus;
    return phone;
}

TEST(HUDTextsTest, IndicatorNamesTheModeAndInKeyMappingTheLayout) {
    const struct {
        std::optional<InputMode> mode;
        std::optional<QString> layout;
        int index;
        QString text;
    } cases[] = {
        {std::nullopt, "Main", 0, "Control Mode"},
        {InputMode::keyboardMouse, "Main", 0, "Keyboard & Mouse"},
        {InputMode::keymap, std::nullopt, 3, "Key Mapping"},
        {InputMode::keymap, "Main", 0, "Key Mapping \u00b7 Main (1)"},
        {InputMode::keymap, "50% %2", 1, "Key Mapping \u00b7 50% %2 (2)"},
        {InputMode::keymap, "\u05E9\u05DC\u05D5\u05DD 1", 1,
         "Key Mapping \u00b7 \u2068\u05E9\u05DC\u05D5\u05DD 1\u2069 (2)"},
        {InputMode::macGamepad, "Main", 0, "PC Gamepad"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HUDModeMenu::indicatorText(c.mode, c.layout, c.index), c.text)
            << c.text.toStdString();
    }
}

TEST(HUDTextsTest, CompactLineAndBannerLabels) {
    SessionStats stats;
    stats.fps = 59.6;
    stats.latencyMillis = 150;  // past the warning threshold: the line stays plain
    EXPECT_EQ(CompactHUDView::text(stats), "60 fps \u00b7 150 ms");
    const std::chrono::steady_clock::time_point changed;
    EXPECT_EQ(CompactHUDView::text(HUDLayerModel::displayedStats(stats, changed, changed + 1s)),
              "\u2014 fps \u00b7 150 ms");
    EXPECT_EQ(ThermalBanner::label({1600, 0}), "1600 px");
    EXPECT_EQ(ThermalBanner::label({1280, 60}), "1280 px, 60 fps");
}

class HUDLayerModelTest : public ::testing::Test {
protected:
    HUDLayerModelTest() {
        session.request = StreamRequest{std::nullopt, options(1920, 60), InputMode::keymap};
        model.setSettings(&settings);
        model.setSession(&session);
    }

    static ServerOptions options(int maxSize, int maxFps) {
        ServerOptions options(1);
        options.maxSize = maxSize;
        options.maxFps = maxFps;
        options.videoBitRate = 16'000'000;
        return options;
    }
    void advance(std::chrono::milliseconds by) {
        now += by;
        timers.advance(by);
    }
    void setFps(double fps) {
        SessionStats stats = session.stats();
        stats.fps = fps;
        session.setStats(stats);
    }
    void setStatus(std::optional<int> status) {
        SessionStats stats = session.stats();
        stats.telemetry = status ? std::optional(telemetry(*status)) : std::nullopt;
        session.setStats(stats);
    }
    int optionCount() const { return model.bannerOptions()->rowCount(); }

    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    test::ManualTimerSource timers;
    std::chrono::steady_clock::time_point now{10s};
    test::FakeSession session;
    HUDLayerModel model{timers, [this] { return now; }};
};

TEST_F(HUDLayerModelTest, ShownOnlyWhileStreaming) {
    for (const SessionPhase& phase :
         {SessionPhase::starting(), SessionPhase::waitingForDevice(), SessionPhase::idle(),
          SessionPhase::failed(SessionFailure::disconnected())}) {
        session.setPhase(phase);
        EXPECT_FALSE(model.isShown()) << int(phase.kind());
        EXPECT_EQ(timers.pending(), 0u);
    }
    session.setPhase(SessionPhase::streaming());
    EXPECT_TRUE(model.isShown());
    model.setSession(nullptr);
    EXPECT_FALSE(model.isShown());
}

TEST_F(HUDLayerModelTest, AFrameRateThatStopsChangingShowsAsUnknownAfterASecond) {
    session.setPhase(SessionPhase::streaming());
    EXPECT_EQ(model.compactText(), "0 fps \u00b7 \u2014");
    advance(999ms);
    EXPECT_EQ(model.compactText(), "0 fps \u00b7 \u2014");
    advance(1ms);  // the refresh falls due
    EXPECT_EQ(model.compactText(), "\u2014 fps \u00b7 \u2014");
    setFps(58);
    EXPECT_EQ(model.compactText(), "58 fps \u00b7 \u2014");
    // A frozen stream keeps reporting NaN: no change, so no fresh figure either.
    setFps(std::nan(""));
    advance(1s);
    setFps(std::nan(""));
    EXPECT_EQ(model.compactText(), "\u2014 fps \u00b7 \u2014");
}

TEST_F(HUDLayerModelTest, OneBannerPerOverheatingEpisode) {
    session.setPhase(SessionPhase::streaming());
    setStatus(0);
    setStatus(2);
    EXPECT_EQ(model.bannerTitle(), "The phone is overheating (throttling 2/6).");
    setStatus(3);
    EXPECT_EQ(model.warningStatus(), 2);
    model.dismiss();
    EXPECT_FALSE(model.showsBanner());
    setStatus(1);  // re-arms; the banner stays closed
    EXPECT_FALSE(model.showsBanner());
    setStatus(2);
    EXPECT_EQ(model.warningStatus(), 2);
    EXPECT_TRUE(model.showsBanner());

    // Lost telemetry re-arms too, and a status past 6 is passed on as it is.
    model.dismiss();
    setStatus(std::nullopt);
    setStatus(7);
    EXPECT_EQ(model.bannerTitle(), "The phone is overheating (throttling 7/6).");
}

TEST_F(HUDLayerModelTest, StatusesOnlyCountWhileStreamingAndNotOnAppearance) {
    setStatus(4);  // starting
    session.setPhase(SessionPhase::streaming());
    EXPECT_FALSE(model.showsBanner());
    setStatus(1);
    session.setPhase(SessionPhase::waitingForDevice());
    setStatus(3);
    session.setPhase(SessionPhase::streaming());
    EXPECT_FALSE(model.showsBanner());
    setStatus(2);
    EXPECT_TRUE(model.showsBanner());
    // The banner survives a gap in streaming.
    session.setPhase(SessionPhase::waitingForDevice());
    EXPECT_FALSE(model.showsBanner());
    session.setPhase(SessionPhase::streaming());
    EXPECT_TRUE(model.showsBanner());
}

TEST_F(HUDLayerModelTest, TheBannerNeedsARequestAndAppliesToIt) {
    session.request.reset();
    session.setPhase(SessionPhase::streaming());
    setStatus(0);
    setStatus(2);
    EXPECT_EQ(model.warningStatus(), 2);
    EXPECT_FALSE(model.showsBanner());
    session.request = StreamRequest{"com.game", options(1920, 60), InputMode::keymap};
    advance(500ms);
    ASSERT_TRUE(model.showsBanner());
    ASSERT_EQ(optionCount(), 2);

    model.apply(0);
    ASSERT_EQ(session.restarts.size(), 1u);
    EXPECT_EQ(session.restarts[0], (StreamQuality{1600, 60}.applied(options(1920, 60))));
    EXPECT_FALSE(model.warningStatus());
    EXPECT_FALSE(model.showsBanner());
    model.apply(0);  // nothing left to apply
    EXPECT_EQ(session.restarts.size(), 1u);

    session.request->options = options(800, 30);
    setStatus(0);
    setStatus(5);
    EXPECT_TRUE(model.showsBanner());
    EXPECT_EQ(optionCount(), 0);
}

class StreamToolbarModelTest : public HUDLayerModelTest {
protected:
    StreamToolbarModelTest() { toolbar.setSettings(&settings); }

    StreamToolbarModel toolbar;
    QSignalSpy restarts{&toolbar, &StreamToolbarModel::streamRestartRequested};
};

TEST_F(StreamToolbarModelTest, OnlyAnotherResolutionIsStoredAndRestarts) {
    settings.setStreamResolution(StreamResolutionOption::balanced);
    EXPECT_EQ(settings.resolutionPreset(), ResolutionPreset::hd);
    toolbar.chooseResolution(ResolutionPreset::hd);
    EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::balanced);
    EXPECT_EQ(restarts.size(), 0);
    toolbar.chooseResolution(ResolutionPreset::sd);
    EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::fast);
    EXPECT_EQ(restarts.size(), 1);
    toolbar.chooseResolution(ResolutionPreset::hd);
    EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::sharp);
    EXPECT_EQ(restarts.size(), 2);
    toolbar.chooseResolution(ResolutionPreset::hd);
    EXPECT_EQ(restarts.size(), 2);
}

// The app model as the input coordinator sees it, with no stream: a coordinator only records a
// requested mode, in the game's settings.
class ModeModel : public QObject, public InputModel {
public:
    explicit ModeModel(AppSettings& settings) : settings_(settings) {}

    InputSession* session() const override { return nullptr; }
    AppSettings* settings() const override { return &settings_; }
    OverlayFrameRegistry* overlayFrames() const override { return nullptr; }
    KeymapController* streamKeymap() const override { return nullptr; }
    void setStreamKeymap(KeymapController*) override {}
    InputCoordinator* modeRequester() const override { return requester; }
    void setModeRequester(InputCoordinator* coordinator) override { requester = coordinator; }
    void setPointerCaptured(bool) override {}
    void closeStream() override {}

    InputCoordinator* requester = nullptr;

private:
    AppSettings& settings_;
};

TEST_F(StreamToolbarModelTest, EntriesGoToTheStreamWindowsCoordinator) {
    struct NoChooser : KeymapFileChooser {
        void chooseFileToOpen(Answer) override {}
        void chooseFileToSave(const QString&, SaveAnswer) override {}
        void askToReplace(const std::filesystem::path&, SaveAnswer) override {}
        void reject() override {}
    } chooser;
    struct NoRawMouse : RawMouseSource {
        void activate(Handler) override {}
        void deactivate() override {}
    } noRawMouse;
    RawMouseHub rawMouse(noRawMouse);
    KeymapController keymap("com.game", std::nullopt, chooser);
    ModeModel appModel(settings);
    InputCoordinator coordinator(&appModel, keymap,
                                 {timers, rawMouse, [] {}, [] { return std::uint64_t(0); }});
    settings.setEmulatorWarningShown(true);
    const auto stored = [this] { return settings.inputMode("com.game"); };

    toolbar.setInputModel(&appModel);
    toolbar.requestMode(1);  // no coordinator yet
    EXPECT_EQ(stored(), InputMode::keyboardMouse);
    appModel.requester = &coordinator;
    toolbar.requestMode(1);
    EXPECT_EQ(stored(), InputMode::keymap);
    toolbar.requestMode(0);
    EXPECT_EQ(stored(), InputMode::keyboardMouse);
    toolbar.requestMode(2);
    EXPECT_EQ(stored(), InputMode::keyboardMouse);
}

}  // namespace
}  // namespace qm
