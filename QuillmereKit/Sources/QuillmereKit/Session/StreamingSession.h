#pragma once

#include <QObject>
#include <QRectF>
#include <QSize>
#include <QVariant>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DeviceLink/DeviceLinkState.h"
#include "InputRouter/InputRouter.h"
#include "QuillmereCore/VideoGeometry.h"
#include "QuillmereKit/Session/InputSession.h"
#include "QuillmereKit/Session/RecordingSession.h"
#include "QuillmereKit/Session/SessionTypes.h"
#include "QuillmereKit/Session/StreamRequest.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "ServerProtocol/ExtMessage.h"
#include "ServerProtocol/ServerOptions.h"
#include "Telemetry/FlashClock.h"

namespace qm {

class VideoView;

// Where the video sits in the attached view, as views read it.
class VideoGeometryValue {
    Q_GADGET
    Q_PROPERTY(QSize videoSize READ videoSize CONSTANT)
    Q_PROPERTY(QRectF contentRect READ contentRect CONSTANT)

public:
    VideoGeometryValue() = default;
    explicit VideoGeometryValue(const VideoGeometry& geometry);

    QSize videoSize() const { return videoSize_; }
    QRectF contentRect() const { return contentRect_; }

private:
    QSize videoSize_;
    QRectF contentRect_;
};

// What the app and its views use of a streaming session: the state they bind to and the
// operations they call, recording included. Session streams from a phone; the app's tests put
// their own in its place. GUI thread only. Every property notifies only when its value
// changed; operations return at once and settle on the GUI thread.
class StreamingSession : public RecordingSession, public InputSession {
    Q_OBJECT
    Q_PROPERTY(qm::SessionPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qm::SessionStats stats READ stats NOTIFY statsChanged)
    // Undefined before the first frame, then a VideoGeometryValue.
    Q_PROPERTY(QVariant videoGeometry READ videoGeometryValue NOTIFY videoGeometryChanged)
    Q_PROPERTY(bool isAudioMuted READ isAudioMuted WRITE setAudioMuted NOTIFY isAudioMutedChanged)
    Q_PROPERTY(bool canRecord READ canRecord NOTIFY canRecordChanged)
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)

public:
    using Duration = std::chrono::milliseconds;
    using PhaseCondition = std::function<bool(const SessionPhase&)>;

    explicit StreamingSession(QObject* parent = nullptr) : RecordingSession(parent) {}

    SessionPhase phase() const override { return phase_; }
    const SessionStats& stats() const noexcept { return stats_; }
    // The geometry the attached view last reported; a teardown keeps it.
    const std::optional<VideoGeometry>& videoGeometry() const noexcept override {
        return geometry_;
    }
    QVariant videoGeometryValue() const;
    // Survives restarts: every new sound output starts with it.
    bool isAudioMuted() const noexcept { return audioMuted_; }
    void setAudioMuted(bool muted);
    // Streaming from a phone: false for the demo.
    bool canRecord() const override { return canRecord_; }
    bool isRecording() const noexcept { return isRecording_; }

    // Records a user start and launches, stopping first whatever was streaming. Settles once
    // the launch has ended, streaming or not; failures show in the phase.
    virtual GuiTask<void> start(std::optional<std::string> package, ServerOptions options) = 0;
    // Records a user stop and tears the stream down, ending a recording; then idle, unless a
    // newer launch began meanwhile.
    virtual GuiTask<void> stop() = 0;
    // New options for the active stream; nothing otherwise.
    virtual void restartStream(const ServerOptions& options) = 0;
    // Every state of the device link, so the session waits for the phone or restarts.
    virtual void deviceStateChanged(const DeviceLinkState& state) = 0;
    // Polls the phase every `pollInterval` and settles once `condition` no longer holds; fails
    // with serverFailed("the phone did not respond within ...") after `timeout`. Cancelling
    // the task ends the polling.
    virtual GuiTask<void> waitWhile(Duration timeout, Duration pollInterval,
                                    PhaseCondition condition) = 0;
    // The request of the active, waiting or restarting stream.
    virtual std::optional<StreamRequest> activeRequest() const = 0;
    // The one router of the session's whole life; its messages reach the phone while streaming.
    InputRouter& input() override = 0;
    // The stream window's view, replacing any earlier one; the next frame reports its size.
    virtual void attach(VideoView* view) = 0;
    // When set before a launch, the raw video stream is copied into that file.
    virtual void setRawStreamTapPath(std::optional<std::filesystem::path> path) = 0;
    // Replaces whatever the session was doing with a capture file played in a loop, no phone.
    virtual GuiTask<void> startDemo(std::filesystem::path streamFile) = 0;
    // The phone's apps over the extension channel; fails with a SessionFailure.
    virtual GuiTask<std::vector<AppInfo>> fetchApps(bool includeAll) = 0;
    // The phone's clocks on ours for the screen-flash test; none without the extension
    // channel's handshake and a clock offset.
    virtual std::optional<FlashClock> flashClock() const { return std::nullopt; }

signals:
    // No sound server was reached: the stream plays without sound.
    void soundUnavailable();
    // A launch asked for a raw capture could not make its file: it streams without one.
    void rawCaptureFailed(const QString& reason);
    void statsChanged();
    void videoGeometryChanged();
    void isAudioMutedChanged();
    void isRecordingChanged();

protected:
    void setPhase(SessionPhase phase);
    // Both are stored before either is announced, so that a listener of one reads the other as
    // it is in the new phase.
    void setPhase(SessionPhase phase, bool canRecord);
    void setStats(SessionStats stats);
    void setVideoGeometry(std::optional<VideoGeometry> geometry);
    void setCanRecord(bool canRecord);
    void setRecording(bool recording);
    // Hands the flag to the sound output, if there is one.
    virtual void applyAudioMuted(bool muted) { (void)muted; }

private:
    SessionPhase phase_;
    SessionStats stats_;
    std::optional<VideoGeometry> geometry_;
    bool audioMuted_ = false;
    bool canRecord_ = false;
    bool isRecording_ = false;
};

}  // namespace qm
