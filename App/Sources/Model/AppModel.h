#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "Developer/FlashTestRunner.h"
#include "Editor/KeymapController.h"
#include "HUD/PanelPositions.h"
#include "Input/InputModel.h"
#include "Input/OverlayFrameRegistry.h"
#include "Model/AppModelBase.h"
#include "Model/AppModelEnvironment.h"
#include "QuillmereCore/SerialQueue.h"
#include "QuillmereKit/Diagnostics/DiagnosticsRedactor.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "QuillmereKit/Tasks/QtExecutor.h"
#include "Recording/RecordingController.h"
#include "Recording/RecordingOverlayModel.h"

namespace qm {

// The screen of the main window.
struct Route {
    enum class Kind { stream, iphone, onboarding, library };

    static Route stream(std::optional<std::string> package) {
        return {Kind::stream, std::move(package), {}};
    }
    static Route demo() { return {Kind::stream, {}, {}, true}; }
    static Route iphone(IPhoneDevice device) { return {Kind::iphone, {}, std::move(device)}; }
    static Route onboarding() { return {Kind::onboarding, {}, {}}; }
    static Route library() { return {Kind::library, {}, {}}; }

    Kind kind = Kind::onboarding;
    std::optional<std::string> package;  // the game of a stream, if any
    std::optional<IPhoneDevice> device;  // the iPhone shown
    bool isDemo = false;                 // the stream is the demo's

    // A stream of the phone or of an iPhone is on screen.
    bool isStreaming() const noexcept { return kind == Kind::stream || kind == Kind::iphone; }

    bool operator==(const Route&) const = default;
};

// The application's central state, one for the life of the process: it follows the phone's
// connection, decides the main window's screen, owns the streaming session and starts and stops
// its streams, and guards quitting while a recording or a stop is unfinished. QML reaches it as
// the singleton "AppModel" (registerForQml). GUI thread only; the slow work runs in tasks that
// its operations start and do not await.
class AppModel final : public AppModelBase, public InputModel {
    Q_OBJECT
    Q_PROPERTY(RouteKind routeKind READ routeKind NOTIFY routeChanged)
    // Empty without a game.
    Q_PROPERTY(QString routePackage READ routePackage NOTIFY routeChanged)
    Q_PROPERTY(bool routeIsDemo READ routeIsDemo NOTIFY routeChanged)
    // Empty unless an iPhone is shown.
    Q_PROPERTY(QString routeIPhoneID READ routeIPhoneID NOTIFY routeChanged)
    Q_PROPERTY(QString routeIPhoneName READ routeIPhoneName NOTIFY routeChanged)
    Q_PROPERTY(DeviceStateKind deviceStateKind READ deviceStateKind NOTIFY deviceStateChanged)
    Q_PROPERTY(qm::StreamingSession* session READ sessionObject NOTIFY sessionChanged)
    // Empty when the last start did not fail.
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(bool captureRawStream READ captureRawStream WRITE setCaptureRawStream NOTIFY
                   captureRawStreamChanged)
    Q_PROPERTY(bool isStopPending READ isStopPending NOTIFY isStopPendingChanged)
    Q_PROPERTY(RecordingController* recording READ recording CONSTANT)
    Q_PROPERTY(PanelPositions* panelPositions READ panelPositions CONSTANT)
    // What the recording layer over the stream shows; it follows the current session.
    Q_PROPERTY(RecordingOverlayModel* recordingOverlay READ recordingOverlay CONSTANT)
    Q_PROPERTY(OverlayFrameRegistry* overlayFrames READ overlayFrames CONSTANT)
    Q_PROPERTY(KeymapController* streamKeymap READ streamKeymap NOTIFY streamKeymapChanged)
    // The stream window holds the pointer, hidden, for the game.
    Q_PROPERTY(bool pointerCaptured READ pointerCaptured NOTIFY pointerCapturedChanged)
    // Hides every phone serial seen since launch in the texts the views show.
    Q_PROPERTY(qm::DiagnosticsRedactor redactor READ redactor NOTIFY knownSerialsChanged)
    Q_PROPERTY(FlashTestRunner* flashTest READ flashTest CONSTANT)
    // Why streams play without sound, once a stream has met no sound server; empty before.
    Q_PROPERTY(QString soundProblem READ soundProblem NOTIFY soundProblemChanged)
    // Why Record Raw Stream switched itself off; empty until then and once it is on again.
    Q_PROPERTY(QString captureProblem READ captureProblem NOTIFY captureProblemChanged)

public:
    enum class RouteKind {
        stream = int(Route::Kind::stream),
        iphone = int(Route::Kind::iphone),
        onboarding = int(Route::Kind::onboarding),
        library = int(Route::Kind::library)
    };
    Q_ENUM(RouteKind)
    // The cases of DeviceLinkState, in its order.
    enum class DeviceStateKind {
        unauthorized,
        connected,
        failed,
        noDevice,
        busy,
        noPermission,
        noUsb
    };
    Q_ENUM(DeviceStateKind)

    static constexpr std::chrono::milliseconds quitTimeout = std::chrono::seconds(5);
    static constexpr std::chrono::milliseconds libraryWaitTimeout = std::chrono::seconds(30);
    static constexpr std::chrono::milliseconds libraryWaitPoll = std::chrono::milliseconds(100);
    static constexpr int rawCaptureBitRate = 2'000'000;

    // Starts nothing: no USB activity before run(). The settings must outlive the model.
    AppModel(AppSettings& settings, AppModelEnvironment environment, QObject* parent = nullptr);
    ~AppModel() override;

    // Makes `model` the QML singleton "AppModel" of the module "Vantorel", once per process,
    // before the engine loads; the model must outlive the engine.
    static void registerForQml(AppModel& model);
    // The light launch that only answers app-list requests.
    static ServerOptions libraryOptions();

    const Route& route() const noexcept { return route_; }
    RouteKind routeKind() const noexcept { return RouteKind(int(route_.kind)); }
    QString routePackage() const;
    bool routeIsDemo() const noexcept { return route_.isDemo; }
    QString routeIPhoneID() const;
    QString routeIPhoneName() const;
    const DeviceLinkState& deviceState() const noexcept { return deviceState_; }
    DeviceStateKind deviceStateKind() const noexcept {
        static_assert(std::variant_size_v<decltype(DeviceLinkState::value)> ==
                      std::size_t(DeviceStateKind::noUsb) + 1);
        return DeviceStateKind(deviceState_.value.index());
    }
    const std::shared_ptr<StreamingSession>& currentSession() const noexcept { return session_; }
    StreamingSession* sessionObject() const noexcept { return session_.get(); }
    InputSession* session() const override { return session_.get(); }
    AppSettings* settings() const override { return AppModelBase::settings(); }
    QString lastError() const { return lastError_.value_or(QString()); }
    bool captureRawStream() const noexcept { return captureRawStream_; }
    void setCaptureRawStream(bool on);
    bool hasDemoStream() const override { return demoStreamFile().has_value(); }
    bool isStopPending() const noexcept { return isStopPending_; }
    // A quit request waited its full time: what it waited for is stuck.
    bool quitTimedOut() const noexcept { return quitTimedOut_; }
    // Every phone serial seen since launch.
    const std::set<std::string>& knownSerials() const noexcept { return knownSerials_; }
    DiagnosticsRedactor redactor() const;
    RecordingController* recording() noexcept { return &recording_; }
    PanelPositions* panelPositions() noexcept { return &panelPositions_; }
    RecordingOverlayModel* recordingOverlay() noexcept { return &recordingOverlay_; }
    OverlayFrameRegistry* overlayFrames() const override { return overlayFrames_; }
    std::function<std::uint64_t()> hostClock() const override { return environment_.hostClock; }
    // The stream window's input sets both while attached and clears them on detach.
    KeymapController* streamKeymap() const override { return streamKeymap_; }
    void setStreamKeymap(KeymapController* controller) override;
    InputCoordinator* modeRequester() const override { return modeRequester_; }
    void setModeRequester(InputCoordinator* coordinator) override { modeRequester_ = coordinator; }
    bool pointerCaptured() const noexcept { return pointerCaptured_; }
    void setPointerCaptured(bool captured) override;
    FlashTestRunner* flashTest() noexcept { return &flashTest_; }
    QString soundProblem() const { return soundProblem_; }
    QString captureProblem() const { return captureProblem_; }

    // Follows the phone and the iPhones from now on; once per process, never under a test host.
    Q_INVOKABLE void run();
    void apply(const DeviceLinkState& state);
    void iphonesChanged(const std::vector<IPhoneDevice>& devices);

    // Streams the connected phone, starting the game when a package is given (empty: none).
    Q_INVOKABLE void startStream(const QString& package);
    void startStream(std::optional<std::string> package);
    void openGame(const QString& package) override;
    // Starts the failed stream again: its own game, or the phone's screen when it had none.
    Q_INVOKABLE void retryStream();
    // Closes the stream or the iPhone screen; the session stops in the background.
    Q_INVOKABLE void closeStream() override;
    // The stream screen's Back to Library, which closes it as closeStream does.
    Q_INVOKABLE void leaveStream();
    // Stops the session after every stop begun before it, keeping it until then;
    // isStopPending holds until the last one has ended.
    void beginPendingStop(std::shared_ptr<StreamingSession> closed);
    Q_INVOKABLE void startDemo() override;
    // Plays a capture file without a phone; none sets lastError.
    void startDemo(const std::optional<std::filesystem::path>& streamFile);
    Q_INVOKABLE void toggleRecording();
    // The running stream takes the settings' codec, size and bit rate.
    Q_INVOKABLE void restartStreamWithCurrentSettings();
    void closeIPhone() override;

    // Settles once a running recording is saved and the pending stop has ended (true), or after
    // `timeout` (false); at once when there is neither.
    GuiTask<bool> finishRecordingBeforeQuit(std::chrono::milliseconds timeout);
    // The Quit command and the main window's close: quits at once, or once the recording and
    // the pending stop have finished (at most 5 s). From then on nothing starts, and further
    // requests are ignored, also once the event loop has ended (a quit would cut short its wait
    // for the stream). Like every command that ends the stream, it asks first about
    // unsaved layout edits (mayEndStream).
    Q_INVOKABLE void requestQuit();
    // The desktop's request to quit, a signal: as requestQuit, but nobody is there to answer, so
    // unsaved layout edits go unasked.
    void quitUnasked();
    // When the rest of a quit must have ended, the stream's teardown and the application's: one
    // quitTimeout for the whole quit, from the first request, or from `loopEnded` when the event
    // loop ended without one.
    std::chrono::steady_clock::time_point quitDeadline(
        std::chrono::steady_clock::time_point loopEnded) const noexcept {
        return quitRequestedAt_.value_or(loopEnded) + quitTimeout;
    }
    // Once the event loop has ended, however it ended: nothing starts from now on, the stream
    // closes, and the task settles as finishRecordingBeforeQuit's does.
    GuiTask<bool> shutDown(std::chrono::milliseconds timeout);

    // The current session, or a new one for the connected phone; none when the jar is missing.
    std::shared_ptr<StreamingSession> sessionForDevice();
    // A session that can answer app-list requests: fails with a SessionFailure,
    // LibraryLoadError::phoneDidNotRespond or cancellation.
    GuiTask<std::shared_ptr<StreamingSession>> librarySession();
    std::unique_ptr<LibraryViewModel> makeLibraryViewModel(const DeviceInfo& device) override;

    // The flash test's "Start": runs the confirmed test on the session and the phone connected
    // now; nothing without a session.
    Q_INVOKABLE void runFlashTest();

    // Puts the diagnostics report on the clipboard, every known serial hidden.
    GuiTask<void> copyDiagnostics() override;

signals:
    void routeChanged();
    void deviceStateChanged();
    void sessionChanged();
    void lastErrorChanged();
    void captureRawStreamChanged();
    void isStopPendingChanged();
    void streamKeymapChanged();
    void pointerCapturedChanged();
    void knownSerialsChanged();
    void soundProblemChanged();
    void captureProblemChanged();

protected:
    void showIPhone(const IPhoneDevice& device) override;

private:
    // The one guard of the person's layout edits, which every command that ends the stream or
    // replaces it passes: with unsaved edits the first request is refused and asked about in the
    // editor, and the same command again discards them.
    bool mayEndStream(KeymapController::Discarding by);
    // Closes what closeStream does, asking nothing.
    void endStream();
    void beginQuit();
    void setRoute(Route route);
    void setSession(std::shared_ptr<StreamingSession> session);
    void setLastError(std::optional<QString> text);
    // The jar's bytes; none (with lastError set) when the bundle lacks it.
    std::optional<Bytes> loadServerJar();
    std::optional<std::filesystem::path> demoStreamFile() const;
    // A capture file that does not exist yet.
    std::filesystem::path newCaptureFile();
    ServerOptions streamOptions() const;
    void setStopPending(bool pending);
    void addKnownSerial(const std::string& serial);
    void soundUnavailable();
    void rawCaptureFailed(const QString& reason);
    void setCaptureProblem(QString text);
    // Off, by the switch or developer mode, holds from the stream's next launch on.
    void stopCapturesWhenOff();

    AppModelEnvironment environment_;
    QtExecutor executor_{this};
    DeviceLinkState deviceState_;
    std::shared_ptr<StreamingSession> session_;
    std::optional<QString> lastError_;
    QString soundProblem_;
    QString captureProblem_;
    Route route_ = Route::onboarding();
    std::set<std::string> knownSerials_;
    bool captureRawStream_ = false;
    QPointer<KeymapController> streamKeymap_;
    InputCoordinator* modeRequester_ = nullptr;
    bool pointerCaptured_ = false;
    OverlayFrameRegistry* const overlayFrames_ = new OverlayFrameRegistry(this);
    PanelPositions panelPositions_;
    RecordingController recording_;
    RecordingOverlayModel recordingOverlay_;
    FlashTestRunner flashTest_;
    SerialQueue libraryCacheQueue_{"library.cache"};
    std::unique_ptr<Subscription> stateSubscription_;
    bool running_ = false;
    // The last capture name handed out: its file appears only once that launch runs.
    std::string lastCaptureStamp_;
    int lastCaptureIndex_ = 0;
    std::weak_ptr<StreamingSession> demoSession_;
    std::optional<GuiTask<void>> pendingStop_;
    bool isStopPending_ = false;
    int stopGeneration_ = 0;
    bool autoConnectPending_ = false;
    // Once set, no session is made and none starts: a launch after the quit would leave a
    // server running on the phone and threads the teardown does not know of.
    bool quitting_ = false;
    bool quitTimedOut_ = false;
    std::optional<std::chrono::steady_clock::time_point> quitRequestedAt_;
};

}  // namespace qm
