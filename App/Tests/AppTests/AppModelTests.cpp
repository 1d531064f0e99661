#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Editor/KeymapFileDialogs.h"
#include "FakeDeviceStates.h"
#include "FakeSession.h"
#include "Model/AppModel.h"
#include "QuillmereCore/Log.h"
#include "QuillmereKit/Gaming/LibraryLoadError.h"
#include "Support/ManualTimerSource.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FakeSession;

// Runs what the tasks queued, and what that queued in turn.
void runPosted() {
    for (int hop = 0; hop < 8; ++hop) {
        QCoreApplication::sendPostedEvents();
    }
}

DeviceInfo phone(std::string serial = "SERIAL1") {
    return {std::move(serial), "Maker", "Model", "14", 34};
}

UsbAdbDevice usbPhone(std::string serial) {
    return UsbAdbDevice::make(1, std::move(serial), std::string("Pixel"));
}

template <typename Error, typename T>
std::optional<Error> errorOf(const TaskOutcome<T>& outcome) {
    try {
        outcome.get();
    } catch (const Error& error) {
        return error;
    } catch (...) {
    }
    return std::nullopt;
}

class AppModelTest : public ::testing::Test {
protected:
    AppModelTest() {
        QStandardPaths::setTestModeEnabled(true);
        QDir(bundle.path()).mkpath("Demo");
        write(bundle.filePath("quillmere-server.jar"), "jar");
        write(bundle.filePath("Demo/demo.qmstream"), "demo");
        make();
    }
    ~AppModelTest() override {
        model.reset();
        for (const std::shared_ptr<FakeSession>& session : sessions) {
            session->cancelPending();
        }
        runPosted();
    }

    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    void make(bool autoConnect = false, bool hostedByTests = false) {
        model.reset();
        AppModelEnvironment environment;
        environment.deviceStates = states;
        environment.makeSession = [this](Bytes jar) {
            sessions.push_back(std::make_shared<FakeSession>(std::move(jar)));
            return sessions.back();
        };
        environment.timers = timers;
        environment.bundle = Bundle(bundle.path());
        environment.capturesDirectory = fs::path(folder.filePath("Captures").toStdString());
        environment.libraryCacheDirectory = fs::path(folder.filePath("Library").toStdString());
        environment.now = [this] { return now; };
        environment.displayMaxFps = [] { return 120; };
        environment.quit = [this] { ++quits; };
        environment.hostedByTests = hostedByTests;
        environment.autoConnect = autoConnect;
        model = std::make_unique<AppModel>(settings, std::move(environment));
    }

    // A phone streaming, its start answered.
    FakeSession& streaming(std::optional<std::string> package = std::nullopt) {
        model->apply(DeviceLinkState::connected(phone()));
        model->startStream(std::move(package));
        runPosted();
        FakeSession& session = *sessions.back();
        session.finishStart();
        runPosted();
        return session;
    }

    // Holds a key down on the phone; the count of messages sent so far.
    static std::size_t holdKey(FakeSession& session) {
        session.input().setMode(InputMode::keyboardMouse);
        session.input().handle(KeyDownEvent{0x00, KeyModifiers(), false});
        return session.sent.size();
    }

    QTemporaryDir folder;
    QTemporaryDir bundle;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    std::shared_ptr<test::FakeDeviceStates> states = std::make_shared<test::FakeDeviceStates>();
    std::shared_ptr<test::ManualTimerSource> timers = std::make_shared<test::ManualTimerSource>();
    std::vector<std::shared_ptr<FakeSession>> sessions;
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(10, 24, 44), Qt::UTC);
    int quits = 0;
    std::unique_ptr<AppModel> model;
};

TEST_F(AppModelTest, RunSubscribesOnceBeforeStartingTheLinkAndNeverUnderATestHost) {
    model->run();
    model->run();
    EXPECT_EQ(states->subscriptions, 1);
    EXPECT_EQ(states->starts, 1);
    EXPECT_TRUE(states->subscribedBeforeStart);

    states->publish(DeviceLinkState::connected(phone()));
    runPosted();
    EXPECT_EQ(model->routeKind(), AppModel::RouteKind::library);

    // A state on its way when the model goes is dropped.
    states->publish(DeviceLinkState::noDevice());
    model.reset();
    runPosted();

    states = std::make_shared<test::FakeDeviceStates>();
    make(true, true);
    model->run();
    model->apply(DeviceLinkState::connected(phone()));
    EXPECT_EQ(states->subscriptions + states->starts, 0);
    EXPECT_TRUE(sessions.empty());
}

TEST_F(AppModelTest, AutoConnectStreamsTheScreenAtTheFirstConnectionOnly) {
    make(true);
    model->apply(DeviceLinkState::unauthorized(usbPhone("SERIAL1")));
    EXPECT_TRUE(sessions.empty());
    model->apply(DeviceLinkState::connected(phone()));
    runPosted();
    ASSERT_EQ(sessions.size(), 1U);
    ASSERT_EQ(sessions[0]->starts.size(), 1U);
    EXPECT_EQ(sessions[0]->starts[0].package, std::nullopt);
    EXPECT_EQ(model->route(), Route::stream(std::nullopt));

    model->closeStream();
    model->apply(DeviceLinkState::noDevice());
    model->apply(DeviceLinkState::connected(phone()));
    runPosted();
    EXPECT_EQ(sessions.size(), 1U);
}

TEST_F(AppModelTest, EachStateSetsTheDeviceTheSerialsAndTheScreen) {
    QSignalSpy routeChanges(model.get(), &AppModel::routeChanged);
    struct Step {
        DeviceLinkState state;
        std::optional<std::string> device;
        Route::Kind route;
        ConnectionNotice notice;
    };
    const std::vector<Step> steps = {
        // Known before the user allows the key, so that diagnostics hide it at once.
        {DeviceLinkState::unauthorized(usbPhone("USB1")), std::nullopt, Route::Kind::onboarding,
         ConnectionNotice::allowOnPhone("Pixel")},
        {DeviceLinkState::connected(phone("SERIAL1")), "SERIAL1", Route::Kind::library,
         ConnectionNotice::allowOnPhone("Pixel")},
        {DeviceLinkState::busy(), "SERIAL1", Route::Kind::onboarding,
         ConnectionNotice::anotherAdbRunning()},
        {DeviceLinkState::failed(LinkFailure::usbUnavailable, "no ADB"), std::nullopt,
         Route::Kind::onboarding, ConnectionNotice::failed(LinkFailure::usbUnavailable, "no ADB")},
        {DeviceLinkState::connected(phone("SERIAL2")), "SERIAL2", Route::Kind::library,
         ConnectionNotice::failed(LinkFailure::usbUnavailable, "no ADB")},
        {DeviceLinkState::noDevice(), std::nullopt, Route::Kind::onboarding,
         ConnectionNotice::connectCable()},
        {DeviceLinkState::noDevice(), std::nullopt, Route::Kind::onboarding,
         ConnectionNotice::connectCable()},
    };
    for (const Step& step : steps) {
        model->apply(step.state);
        EXPECT_EQ(model->connectedDevice() ? std::optional(model->connectedDevice()->serial)
                                           : std::nullopt,
                  step.device);
        EXPECT_EQ(model->route().kind, step.route);
        EXPECT_EQ(model->connectionNotice(), step.notice);
    }
    EXPECT_EQ(model->knownSerials(), (std::set<std::string>{"USB1", "SERIAL1", "SERIAL2"}));
    EXPECT_EQ(model->redactor().redact("USB1 and SERIAL2"), "<serial> and <serial>");
    // library, onboarding, library, onboarding: the same screen again is silent.
    EXPECT_EQ(routeChanges.count(), 4);
}

TEST_F(AppModelTest, StreamsAndIPhonesKeepTheirScreenWhileThePhoneComesAndGoes) {
    FakeSession& session = streaming("com.game");
    model->apply(DeviceLinkState::noDevice());
    EXPECT_EQ(model->route(), Route::stream("com.game"));
    EXPECT_EQ(session.deviceStates.back(), DeviceLinkState::noDevice());
    EXPECT_FALSE(model->hasConnectedDevice());
    model->closeStream();

    const IPhoneDevice iphone{"cam1", "iPhone"};
    model->iphonesChanged({iphone});
    model->openIPhone("cam1");
    model->apply(DeviceLinkState::connected(phone("SERIAL9")));
    EXPECT_EQ(model->route(), Route::iphone(iphone));
    EXPECT_TRUE(model->knownSerials().contains("SERIAL9"));

    // Closing the iPhone screen leaves the phone session's state alone.
    model->apply(DeviceLinkState::noDevice());
    model->iphonesChanged({});
    EXPECT_EQ(model->route(), Route::onboarding());
    EXPECT_EQ(model->connectionNotice(), ConnectionNotice::connectCable());
    model->openIPhone("cam1");
    EXPECT_EQ(model->route(), Route::onboarding());
}

TEST_F(AppModelTest, AStartWaitsForTheClosedSessionsStopAndStopsStayPendingUntilTheLast) {
    FakeSession& first = streaming();
    // The stream window's input finds the session through the model as a QObject.
    InputModel* const input = dynamic_cast<InputModel*>(static_cast<QObject*>(model.get()));
    ASSERT_TRUE(input);
    EXPECT_EQ(input->session(), &first);
    const std::size_t sentBefore = holdKey(first);
    model->closeStream();
    EXPECT_GT(first.sent.size(), sentBefore);
    EXPECT_EQ(input->session(), nullptr);
    EXPECT_EQ(model->route(), Route::library());
    EXPECT_TRUE(model->isStopPending());
    runPosted();
    ASSERT_EQ(first.stops.size(), 1U);

    model->startStream(std::optional<std::string>("com.game"));
    runPosted();
    FakeSession& second = *sessions.at(1);
    EXPECT_TRUE(second.starts.empty());
    model->closeStream();
    runPosted();
    EXPECT_TRUE(second.stops.empty());

    first.finishStop();
    runPosted();
    // Its launch began once the first was down; its own stop follows.
    EXPECT_EQ(second.starts.size(), 1U);
    ASSERT_EQ(second.stops.size(), 1U);
    EXPECT_TRUE(model->isStopPending());
    second.finishStop();
    runPosted();
    EXPECT_FALSE(model->isStopPending());
}

TEST_F(AppModelTest, RawCapturesGetAFreshFileAtEveryStartAndNoneOnceSwitchedOff) {
    settings.setDeveloperMode(true);
    model->setCaptureRawStream(true);
    FakeSession& session = streaming();
    const fs::path captures(folder.filePath("Captures").toStdString());
    EXPECT_EQ(session.tapPath(), captures / "capture-2026-12-07T10-24-44Z.qmstream");
    EXPECT_EQ(session.starts.back().options.videoBitRate, AppModel::rawCaptureBitRate);

    fs::create_directories(captures);
    std::ofstream(captures / "capture-2026-12-07T10-24-44Z-2.qmstream") << "taken";
    model->startStream(std::nullopt);
    model->startStream(std::nullopt);
    EXPECT_EQ(sessions.size(), 1U);
    EXPECT_EQ(session.tapPaths.at(1), captures / "capture-2026-12-07T10-24-44Z-1.qmstream");
    EXPECT_EQ(session.tapPaths.at(2), captures / "capture-2026-12-07T10-24-44Z-3.qmstream");

    // A capture that cannot start switches itself off and says why, until switched on again;
    // off, the stream's own relaunches capture nothing either.
    emit session.rawCaptureFailed("cannot create capture.qmstream: Permission denied");
    EXPECT_FALSE(model->captureRawStream());
    EXPECT_EQ(session.tapPath(), std::nullopt);
    EXPECT_EQ(model->captureProblem(),
              "Record Raw Stream is off: the capture could not start (cannot create "
              "capture.qmstream: Permission denied).");
    model->setCaptureRawStream(true);
    EXPECT_EQ(model->captureProblem(), "");
    for (const auto& switchOff : std::vector<std::function<void()>>{
             [&] { model->setCaptureRawStream(false); },
             [&] { settings.setDeveloperMode(false); },
         }) {
        settings.setDeveloperMode(true);
        model->setCaptureRawStream(true);
        model->startStream(std::nullopt);
        ASSERT_NE(session.tapPath(), std::nullopt);
        switchOff();
        EXPECT_EQ(session.tapPath(), std::nullopt);
    }

    model->setCaptureRawStream(false);
    model->startStream(std::nullopt);
    runPosted();
    EXPECT_EQ(session.tapPath(), std::nullopt);
    EXPECT_EQ(session.starts.back().options.videoBitRate,
              videoBitRate(settings.streamResolution()));
    EXPECT_EQ(session.starts.back().options.maxFps, 60);
}

TEST_F(AppModelTest, TheDemoReplacesALiveStreamLikeAClose) {
    FakeSession& live = streaming();
    const std::size_t sentBefore = holdKey(live);

    model->startDemo();
    EXPECT_GT(live.sent.size(), sentBefore);
    EXPECT_TRUE(model->isStopPending());
    runPosted();
    FakeSession& demo = *sessions.at(1);
    EXPECT_TRUE(demo.jar.empty());
    EXPECT_TRUE(demo.demos.empty());

    live.finishStop();
    runPosted();
    ASSERT_EQ(demo.demos.size(), 1U);
    EXPECT_EQ(demo.demos[0].streamFile.filename(), "demo.qmstream");

    // A stream start replaces the demo, stopping it first.
    model->startStream(std::nullopt);
    runPosted();
    FakeSession& next = *sessions.at(2);
    EXPECT_EQ(demo.stops.size(), 1U);
    EXPECT_TRUE(next.starts.empty());
    demo.finishStop();
    runPosted();
    EXPECT_EQ(next.starts.size(), 1U);
}

TEST_F(AppModelTest, RetryStartsTheRoutesOwnGameOrTheScreen) {
    streaming();
    model->openGame("com.old");
    model->closeStream();
    model->startStream(std::nullopt);
    model->retryStream();
    runPosted();
    sessions[0]->finishStop();
    runPosted();
    FakeSession& session = *sessions.back();
    ASSERT_FALSE(session.starts.empty());
    EXPECT_EQ(session.starts.back().package, std::nullopt);

    model->openGame("com.new");
    model->retryStream();
    EXPECT_EQ(settings.lastPackage(), "com.new");
    EXPECT_EQ(model->route(), Route::stream("com.new"));
}

// Each way out asks once about unsaved layout edits, and without a game about the layouts
// saved only for the stream, in its own words; given again it drops them, closes the editor and
// goes on. The same game again keeps them.
TEST_F(AppModelTest, EveryWayThatEndsTheStreamAsksFirstAboutUnsavedEdits) {
    const struct {
        std::function<void(AppModel&)> command;
        QString again;
        std::function<bool(AppModel&)> done;
    } ways[] = {
        {&AppModel::requestQuit, "Quit again", [this](AppModel&) { return quits == 1; }},
        {[](AppModel& m) { m.closeStream(); }, "Close the stream again",
         [](AppModel& m) { return m.route() == Route::library(); }},
        {&AppModel::leaveStream, "Choose Back to Library again",
         [](AppModel& m) { return m.route() == Route::library(); }},
        {[](AppModel& m) { m.startDemo(); }, "Choose Demo Mode again",
         [](AppModel& m) { return m.routeIsDemo(); }},
        {[](AppModel& m) { m.openGame("com.other"); }, "Open the game again",
         [](AppModel& m) { return m.route() == Route::stream("com.other"); }},
    };
    KeymapFileDialogs dialogs;
    for (const auto& way : ways) {
        for (const std::optional<std::string>& game :
             {std::optional<std::string>("com.game"), std::optional<std::string>()}) {
            SCOPED_TRACE(way.again.toStdString() + (game ? " with a game" : " without one"));
            make();
            quits = 0;
            streaming(game);
            KeymapController keymap(game, std::nullopt, dialogs);
            keymap.loadActiveKeymaps();
            const auto played = [&] { return keymap.activeLayout()->profile.actions.size(); };
            const std::size_t before = played();
            keymap.beginEditing();
            keymap.addStick(0.2, 0.7);
            if (!game) {
                // Kept for the stream only, the editor closed.
                keymap.save();
                ASSERT_FALSE(keymap.isEditing());
                ASSERT_EQ(played(), before + 1);
            }
            model->setStreamKeymap(&keymap);
            model->retryStream();
            EXPECT_EQ(keymap.notice(), "");
            way.command(*model);
            EXPECT_FALSE(way.done(*model));
            EXPECT_EQ(
                game ? keymap.notice() : keymap.layoutToastText(),
                game ? "Unsaved changes. " + way.again + " to discard them, or Super+E to save."
                     : "Layouts without a game end with the stream. " + way.again +
                           " to discard them, or Super+E, then Export…, to keep them in "
                           "a file.");
            EXPECT_TRUE(model->route() == Route::stream(game));
            way.command(*model);
            EXPECT_TRUE(way.done(*model));
            EXPECT_FALSE(keymap.isEditing());
            EXPECT_EQ(played(), before) << "the edits are gone";
            model->setStreamKeymap(nullptr);
        }
    }
}

// What cannot start is found missing before the question: a question answered for a stream that
// then does not start would have cost the edits for nothing.
TEST_F(AppModelTest, AStartThatCannotStartAsksNothingAndKeepsTheEdits) {
    KeymapFileDialogs dialogs;
    streaming("com.game");
    KeymapController keymap(std::string("com.game"), std::nullopt, dialogs);
    keymap.loadActiveKeymaps();
    keymap.beginEditing();
    keymap.addStick(0.2, 0.7);
    model->setStreamKeymap(&keymap);
    QFile::remove(bundle.filePath("quillmere-server.jar"));
    QFile::remove(bundle.filePath("Demo/demo.qmstream"));
    const std::pair<std::function<void()>, QString> starts[] = {
        {[&] { model->openGame("com.other"); },
         "quillmere-server.jar is missing from the app bundle"},
        {[&] { model->startDemo(); }, "demo.qmstream is missing from the app bundle"}};
    for (const auto& [start, error] : starts) {
        SCOPED_TRACE(error.toStdString());
        start();
        start();
        EXPECT_EQ(model->lastError(), error);
        EXPECT_EQ(keymap.notice(), "");
        EXPECT_TRUE(keymap.isEditing() && keymap.isDirty());
        EXPECT_TRUE(model->route() == Route::stream("com.game"));
    }
    model->setStreamKeymap(nullptr);
}

TEST_F(AppModelTest, QuitWaitsForTheRecordingAndTheStopAtMostFiveSecondsAndStartsNothing) {
    // Nothing to wait for: the quit is at once, and nothing starts after it.
    model->requestQuit();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(timers->pending(), 0U);
    model->apply(DeviceLinkState::connected(phone()));
    model->startStream(std::nullopt);
    EXPECT_TRUE(sessions.empty()) << "a stream started after the quit";

    make();
    FakeSession& session = streaming();
    model->toggleRecording();
    ASSERT_TRUE(model->recording()->isRecording());
    model->requestQuit();
    runPosted();
    EXPECT_EQ(quits, 1);
    ASSERT_EQ(session.recordingStops.size(), 1U);
    session.recordingStops[0](session.recordings[0]);
    runPosted();
    EXPECT_EQ(quits, 2);
    EXPECT_FALSE(model->quitTimedOut());
    // Should the event loop end a second later, what follows it has what is left of the same
    // five seconds.
    const auto loopEnded = std::chrono::steady_clock::now() + 1s;
    EXPECT_LT(model->quitDeadline(loopEnded), loopEnded + AppModel::quitTimeout);

    make();
    FakeSession& stuck = streaming();
    model->closeStream();
    // Waits for the stop, as does a demo.
    model->startStream(std::optional<std::string>("com.game"));
    model->startDemo();
    model->requestQuit();
    model->requestQuit();
    runPosted();
    timers->advance(AppModel::quitTimeout - 1ms);
    runPosted();
    EXPECT_EQ(quits, 2);
    timers->advance(1ms);
    runPosted();
    EXPECT_EQ(quits, 3);
    // The application then leaves without joining the stuck stop's threads.
    EXPECT_TRUE(model->quitTimedOut());

    // Once quitting nothing starts: neither what waited for the stop nor what comes later.
    std::optional<TaskOutcome<std::shared_ptr<StreamingSession>>> library;
    model->librarySession().then([&](const auto& outcome) { library = outcome; });
    model->startStream(std::nullopt);
    model->startDemo();
    stuck.finishStop();
    runPosted();
    ASSERT_EQ(sessions.size(), 4U);
    sessions[2]->finishStop();  // the game's, which the demo replaced
    runPosted();
    EXPECT_TRUE(sessions[2]->starts.empty());
    EXPECT_TRUE(sessions[3]->demos.empty());
    EXPECT_TRUE(library && library->isCancelled());
}

// The recording overlay follows the current session: closing the stream ends the pill while
// the session finishes the file, whose end report still counts.
TEST_F(AppModelTest, ClosingTheStreamEndsTheRecordingDisplayNotTheFile) {
    FakeSession& session = streaming();
    const RecordingOverlayModel& overlay = *model->recordingOverlay();
    EXPECT_TRUE(overlay.showsRecordPanel());
    model->toggleRecording();
    EXPECT_TRUE(overlay.showsPill());

    model->closeStream();
    EXPECT_FALSE(overlay.showsPill() || overlay.showsRecordPanel());
    EXPECT_TRUE(model->recording()->isFinishing());
    session.onRecordingEnded({session.recordings[0], nullptr});
    EXPECT_EQ(model->recording()->lastFileName().toStdString(),
              session.recordings[0].filename().string());
}

TEST_F(AppModelTest, TheLibrarySessionWaitsForALaunchAndGivesUpAfterThirtySeconds) {
    model->apply(DeviceLinkState::connected(phone()));
    auto& first = *model->sessionForDevice();
    auto& session = static_cast<FakeSession&>(first);
    session.setPhase(SessionPhase::starting());

    std::optional<TaskOutcome<std::shared_ptr<StreamingSession>>> answered;
    model->librarySession().then([&](const auto& outcome) { answered = outcome; });
    ASSERT_EQ(session.waits.size(), 1U);
    EXPECT_EQ(session.waits[0].timeout, 30s);
    EXPECT_EQ(session.waits[0].pollInterval, 100ms);
    EXPECT_TRUE(session.waits[0].condition(SessionPhase::waitingForDevice()));
    EXPECT_FALSE(session.waits[0].condition(SessionPhase::idle()));
    session.setPhase(SessionPhase::streaming());
    session.waits[0].done.settle(TaskOutcome<void>());
    runPosted();
    ASSERT_TRUE(answered && answered->hasValue());
    EXPECT_EQ(answered->get().get(), &session);

    session.setPhase(SessionPhase::starting());
    answered.reset();
    model->librarySession().then([&](const auto& outcome) { answered = outcome; });
    session.waits[1].done.settle(std::make_exception_ptr(
        SessionFailure::serverFailed("the phone did not respond within 30s")));
    runPosted();
    ASSERT_TRUE(answered);
    EXPECT_TRUE(errorOf<LibraryLoadError>(*answered));
    const std::vector<LogEntry> log = Log::recentEntries();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const LogEntry& entry) {
        return entry.category == "session" && entry.level == spdlog::level::err &&
               entry.message.starts_with("library wait failed: ");
    }));
}

TEST_F(AppModelTest, TheLibraryFetchesThroughALightLaunchAfterAClosedStreamsStop) {
    FakeSession& closed = streaming();
    model->closeStream();
    const std::unique_ptr<LibraryViewModel> library = model->makeLibraryViewModel(phone());
    library->refresh();
    runPosted();
    EXPECT_EQ(sessions.size(), 1U);

    closed.finishStop();
    runPosted();
    ASSERT_EQ(sessions.size(), 2U);
    FakeSession& session = *sessions[1];
    EXPECT_EQ(session.deviceStates, std::vector{DeviceLinkState::connected(phone())});
    ASSERT_EQ(session.starts.size(), 1U);
    const ServerOptions& options = session.starts[0].options;
    EXPECT_EQ(session.starts[0].package, std::nullopt);
    EXPECT_EQ(std::tuple(options.maxSize, options.maxFps, options.videoBitRate, options.audio,
                         options.stayAwake),
              std::tuple(800, 15, 1'000'000, false, false));
    session.finishStart();
    runPosted();
    ASSERT_EQ(session.fetches.size(), 1U);
    EXPECT_FALSE(session.fetches[0].includeAll);
    session.fetches[0].done.settle(std::vector{AppInfo{"com.game", "Game", true, 0, {}}});
    // Shown once the cache's queue has read the cached list.
    EXPECT_TRUE(QTest::qWaitFor([&] { return library->visibleApps()->rowCount() == 1; }));

    model.reset();
    library->refresh();
    runPosted();
    EXPECT_EQ(library->loadError(), LibraryViewModel::friendlyMessage(
                                        std::make_exception_ptr(SessionFailure::disconnected())));
}

TEST_F(AppModelTest, AStartNeedsAConnectedPhoneAndTheBundlesFiles) {
    model->startStream(std::nullopt);
    model->apply(DeviceLinkState::unauthorized(usbPhone("USB1")));
    model->startStream(std::nullopt);
    EXPECT_TRUE(sessions.empty());
    EXPECT_EQ(model->route(), Route::onboarding());

    model->apply(DeviceLinkState::connected(phone()));
    QFile::remove(bundle.filePath("quillmere-server.jar"));
    QFile::remove(bundle.filePath("Demo/demo.qmstream"));
    model->startStream(std::nullopt);
    EXPECT_EQ(model->lastError(), "quillmere-server.jar is missing from the app bundle");
    model->startDemo();
    EXPECT_EQ(model->lastError(), "demo.qmstream is missing from the app bundle");
    EXPECT_FALSE(model->hasDemoStream());
    EXPECT_TRUE(sessions.empty());
    EXPECT_EQ(model->route(), Route::library());
}

TEST_F(AppModelTest, QmlBindsToTheSingleton) {
    AppModel::registerForQml(*model);
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(&engine);
    component.setData(R"(import QtQml
import Vantorel
QtObject {
    property bool library: AppModel.routeKind === AppModel.RouteKind.library
    property string game: AppModel.routePackage
    property bool phone: AppModel.deviceStateKind === AppModel.DeviceStateKind.connected
    property string hidden: AppModel.redactor.redact("serial SERIAL1")
})",
                      QUrl());
    const std::unique_ptr<QObject> bound(component.create());
    ASSERT_TRUE(bound) << component.errorString().toStdString();
    EXPECT_FALSE(bound->property("library").toBool());
    model->apply(DeviceLinkState::connected(phone()));
    EXPECT_TRUE(bound->property("library").toBool());
    EXPECT_TRUE(bound->property("phone").toBool());
    EXPECT_EQ(bound->property("hidden").toString(), "serial <serial>");
    streaming("com.game");
    EXPECT_EQ(bound->property("game").toString(), "com.game");
}

}  // namespace
}  // namespace qm
