#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "QuillmereKit/Session/RecordingSession.h"

namespace qm::test {

// A session whose recordings the test drives: starts succeed unless `startError` is set, each
// stop waits until the test answers it, and end reports go out when the test sends them.
class FakeRecordingSession final : public RecordingSession {
public:
    using StopDone = std::function<void(TaskOutcome<std::filesystem::path>)>;

    SessionPhase phase() const override { return phase_; }
    bool canRecord() const override { return canRecord_; }

    void startRecording(const std::filesystem::path& url) override {
        if (startError) {
            std::rethrow_exception(startError);
        }
        started.push_back(url);
    }
    void stopRecording(StopDone done) override { stops.push_back(std::move(done)); }

    void setPhase(SessionPhase phase) {
        phase_ = std::move(phase);
        emit phaseChanged();
    }
    void setCanRecord(bool canRecord) {
        canRecord_ = canRecord;
        emit canRecordChanged();
    }
    void end(RecordingEnd report) { onRecordingEnded(report); }

    std::exception_ptr startError;
    std::vector<std::filesystem::path> started;
    std::vector<StopDone> stops;

private:
    SessionPhase phase_ = SessionPhase::streaming();
    bool canRecord_ = true;
};

}  // namespace qm::test
