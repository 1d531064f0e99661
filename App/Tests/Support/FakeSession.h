#pragma once

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuillmereKit/Session/StreamingSession.h"

namespace qm::test {

// A streaming session the test drives. Every operation is recorded; the tasks of start, stop,
// startDemo, waitWhile and fetchApps stay pending until the test settles them (finish... or the
// task itself; cancelPending at the end). Its input router is the real one, its messages collected
// in `sent`. Phase, stats, geometry, recording flags and the active request are the test's to set.
class FakeSession final : public StreamingSession {
public:
    struct Start {
        std::optional<std::string> package;
        ServerOptions options;
        GuiTask<void> done;
    };
    struct Demo {
        std::filesystem::path streamFile;
        GuiTask<void> done;
    };
    struct Wait {
        Duration timeout;
        Duration pollInterval;
        PhaseCondition condition;
        GuiTask<void> done;
    };
    struct Fetch {
        bool includeAll = false;
        GuiTask<std::vector<AppInfo>> done;
    };
    using StopDone = std::function<void(TaskOutcome<std::filesystem::path>)>;

    FakeSession() = default;
    // A session whose jar the factory was given: empty for the demo.
    explicit FakeSession(Bytes serverJar) : jar(std::move(serverJar)) {}

    using StreamingSession::setCanRecord;
    using StreamingSession::setPhase;
    using StreamingSession::setRecording;
    using StreamingSession::setStats;
    using StreamingSession::setVideoGeometry;

    GuiTask<void> start(std::optional<std::string> package, ServerOptions options) override {
        starts.push_back({std::move(package), std::move(options), GuiTask<void>(this)});
        return starts.back().done;
    }
    GuiTask<void> stop() override {
        stops.emplace_back(this);
        return stops.back();
    }
    void restartStream(const ServerOptions& options) override { restarts.push_back(options); }
    void deviceStateChanged(const DeviceLinkState& state) override {
        deviceStates.push_back(state);
    }
    GuiTask<void> waitWhile(Duration timeout, Duration pollInterval,
                            PhaseCondition condition) override {
        waits.push_back({timeout, pollInterval, std::move(condition), GuiTask<void>(this)});
        return waits.back().done;
    }
    std::optional<StreamRequest> activeRequest() const override { return request; }
    InputRouter& input() override { return input_; }
    void attach(VideoView* view) override { attached.push_back(view); }
    void setRawStreamTapPath(std::optional<std::filesystem::path> path) override {
        tapPaths.push_back(std::move(path));
    }
    GuiTask<void> startDemo(std::filesystem::path streamFile) override {
        demos.push_back({std::move(streamFile), GuiTask<void>(this)});
        return demos.back().done;
    }
    GuiTask<std::vector<AppInfo>> fetchApps(bool includeAll) override {
        fetches.push_back({includeAll, GuiTask<std::vector<AppInfo>>(this)});
        return fetches.back().done;
    }
    void startRecording(const std::filesystem::path& url) override {
        if (recordingStartError) {
            std::rethrow_exception(recordingStartError);
        }
        recordings.push_back(url);
        setRecording(true);
    }
    void stopRecording(StopDone done) override {
        setRecording(false);
        recordingStops.push_back(std::move(done));
    }

    // Ends the last start in `phase`, as a launch does: a stream can then be recorded.
    void finishStart(SessionPhase phase = SessionPhase::streaming()) {
        setCanRecord(phase == SessionPhase::streaming());
        setPhase(std::move(phase));
        starts.back().done.settle(TaskOutcome<void>());
    }
    // Ends the oldest unsettled stop, idle.
    void finishStop() {
        for (const GuiTask<void>& stop : stops) {
            if (!stop.isSettled()) {
                setCanRecord(false);
                setPhase(SessionPhase::idle());
                stop.settle(TaskOutcome<void>());
                return;
            }
        }
    }
    // Ends every task still pending as cancelled. A continuation that holds the session keeps
    // it alive while the task does: call this, then run the posted events, before the test ends.
    void cancelPending() {
        for (const Start& each : starts) {
            each.done.cancel();
        }
        for (const GuiTask<void>& each : stops) {
            each.cancel();
        }
        for (const Wait& each : waits) {
            each.done.cancel();
        }
        for (const Demo& each : demos) {
            each.done.cancel();
        }
        for (const Fetch& each : fetches) {
            each.done.cancel();
        }
    }
    // The tap path the last launch would write, if any was set.
    std::optional<std::filesystem::path> tapPath() const {
        return tapPaths.empty() ? std::nullopt : tapPaths.back();
    }

    Bytes jar;
    std::optional<StreamRequest> request;
    std::exception_ptr recordingStartError;

    std::vector<Start> starts;
    std::vector<GuiTask<void>> stops;
    std::vector<ServerOptions> restarts;
    std::vector<DeviceLinkState> deviceStates;
    std::vector<Wait> waits;
    std::vector<Demo> demos;
    std::vector<Fetch> fetches;
    std::vector<VideoView*> attached;
    std::vector<std::optional<std::filesystem::path>> tapPaths;
    std::vector<std::filesystem::path> recordings;
    std::vector<StopDone> recordingStops;
    std::vector<ControlMessage> sent;

private:
    InputRouter input_{[this](const ControlMessage& message) { sent.push_back(message); }};
};

}  // namespace qm::test
