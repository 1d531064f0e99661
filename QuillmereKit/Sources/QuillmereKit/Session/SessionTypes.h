#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "QuillmereCore/TypedError.h"
#include "ServerProtocol/ExtMessage.h"
#include "VideoPipeline/DecoderKind.h"

namespace qm {

// What a stream is, where it is in its life and why it ended, as everything outside the session
// sees it. Plain values: the session is their only writer, on the GUI thread.

enum class SessionFailureKind {
    serverFailed,
    deviceBusy,
    versionMismatch,
    decoderFailed,
    disconnected
};

// What a person is told about a serverFailed, which covers failures of many kinds.
enum class FailureCause {
    other,            // the reason says it
    timedOut,         // the phone did not answer in time
    linkFailed,       // the USB or ADB connection to the phone failed
    serverStopped,    // the device server ended; the reason is what it printed
    streamDisabled,   // the phone would not capture its screen
    encoderRejected,  // the phone's video encoder refused the settings
    demoUnreadable,   // the demo stream's file does not read
};

// Why a stream ended, as a closed set the views can word. The message is the case itself,
// `serverFailed("...")` with its text, as the session logs it.
class SessionFailure : public TypedError<SessionFailureKind> {
public:
    // Anything not covered below; `text` says what happened. `quotesPhone`: the text quotes
    // what the phone printed, which may name it. A person is told the `cause`, with the
    // `reason` (the text when none) under it: the text may be a case of this program.
    static SessionFailure serverFailed(std::string text, bool quotesPhone = false,
                                       FailureCause cause = FailureCause::other,
                                       std::optional<std::string> reason = std::nullopt);
    // Another program holds the phone's USB interface.
    static SessionFailure deviceBusy() { return {Kind::deviceBusy, "deviceBusy"}; }
    // The device server or its extension channel speaks another protocol version.
    static SessionFailure versionMismatch() { return {Kind::versionMismatch, "versionMismatch"}; }
    // The decoder kept failing after its escalating recovery.
    static SessionFailure decoderFailed() { return {Kind::decoderFailed, "decoderFailed"}; }
    // The phone, its ADB connection or a stream socket went away.
    static SessionFailure disconnected() { return {Kind::disconnected, "disconnected"}; }

    // The text of serverFailed; empty for the other cases.
    const std::string& text() const noexcept { return text_; }
    bool quotesPhone() const noexcept { return quotesPhone_; }
    FailureCause cause() const noexcept { return cause_; }
    // What a person reads of a serverFailed: the text, unless made with a reason.
    const std::string& reason() const noexcept { return reason_; }

    friend bool operator==(const SessionFailure& a, const SessionFailure& b) {
        return a.kind() == b.kind() && a.text_ == b.text_ && a.cause_ == b.cause_ &&
               a.reason_ == b.reason_;
    }

private:
    SessionFailure(Kind kind, const std::string& message, std::string text = {},
                   bool quotesPhone = false, FailureCause cause = FailureCause::other,
                   std::string reason = {})
        : TypedError(kind, message),
          text_(std::move(text)),
          quotesPhone_(quotesPhone),
          cause_(cause),
          reason_(std::move(reason)) {}

    std::string text_;
    bool quotesPhone_;
    FailureCause cause_;
    std::string reason_;
};

// The one rule that turns whatever a launch or a stream threw into a failure: the phone's
// loss and a busy interface by their cases, anything else as serverFailed with the error's
// case text (a foreign exception's what(), "unknown error" for a non-exception).
SessionFailure failure(const std::exception_ptr& error);

// A failure, or anything thrown, as the log shows it: its message, kept private where it quotes
// what the phone printed (the server's output, the extension server's errors), which may name
// the phone; every other reason shows.
std::string logged(const SessionFailure& failure);
std::string logged(const std::exception_ptr& error);

// "serverFailed", "deviceBusy", ...: the case names.
std::string_view caseName(SessionFailureKind kind) noexcept;

// Views read it through its properties: the kind, and for a failure its case and text.
class SessionPhase {
    Q_GADGET
    Q_PROPERTY(Kind kind READ kind CONSTANT)
    Q_PROPERTY(QString failureKind READ failureKindName CONSTANT)
    Q_PROPERTY(QString failureText READ failureText CONSTANT)

public:
    // In the order the views list them.
    enum class Kind { failed, idle, waitingForDevice, starting, streaming };
    Q_ENUM(Kind)

    SessionPhase() : SessionPhase(Kind::idle) {}

    // The stream ended and will not be retried.
    static SessionPhase failed(SessionFailure failure) {
        return SessionPhase(Kind::failed, std::move(failure));
    }
    static SessionPhase idle() { return SessionPhase(Kind::idle); }
    // The stream was lost; the session waits for the phone to come back.
    static SessionPhase waitingForDevice() { return SessionPhase(Kind::waitingForDevice); }
    static SessionPhase starting() { return SessionPhase(Kind::starting); }
    // The decoder is in place and the readers run.
    static SessionPhase streaming() { return SessionPhase(Kind::streaming); }

    Kind kind() const noexcept { return kind_; }
    // Present exactly when failed.
    const std::optional<SessionFailure>& failure() const noexcept { return failure_; }
    // Empty unless failed.
    QString failureKindName() const;
    QString failureText() const;

    bool operator==(const SessionPhase&) const = default;

private:
    explicit SessionPhase(Kind kind, std::optional<SessionFailure> failure = std::nullopt)
        : kind_(kind), failure_(std::move(failure)) {}

    Kind kind_;
    std::optional<SessionFailure> failure_;
};

// The figures the heads-up display shows. Views read them through its properties, an absent
// figure as an undefined value.
struct SessionStats {
    Q_GADGET
    Q_PROPERTY(double fps MEMBER fps CONSTANT)
    Q_PROPERTY(QVariant latencyMillis READ latencyValue CONSTANT)
    Q_PROPERTY(QVariant phoneMillis READ phoneValue CONSTANT)
    Q_PROPERTY(QVariant macMillis READ macValue CONSTANT)
    Q_PROPERTY(qint64 droppedFrames READ droppedFrameCount CONSTANT)

public:
    double fps = 0;  // frames presented per second over the last window of at least 1 s
    std::optional<double> latencyMillis;  // median capture-to-screen latency
    std::optional<double> phoneMillis;    // the phone's share of it
    std::optional<double> macMillis;      // this computer's share: decoded to presented
    std::int64_t droppedFrames = 0;  // replaced in the latest-frame slot since the stream began
    std::optional<PhoneTelemetry> telemetry;
    std::optional<DecoderKind> decoder;  // known once frames are shown

    SessionStats() = default;
    // The shares start absent: the timing publisher fills them in.
    SessionStats(double framesPerSecond, std::optional<double> latency, std::int64_t dropped,
                 std::optional<PhoneTelemetry> phone)
        : fps(framesPerSecond),
          latencyMillis(latency),
          droppedFrames(dropped),
          telemetry(std::move(phone)) {}

    // At session creation and after every teardown.
    static SessionStats empty() { return SessionStats(0, std::nullopt, 0, std::nullopt); }

    QVariant latencyValue() const { return figure(latencyMillis); }
    QVariant phoneValue() const { return figure(phoneMillis); }
    QVariant macValue() const { return figure(macMillis); }
    qint64 droppedFrameCount() const { return droppedFrames; }

    bool operator==(const SessionStats&) const = default;

private:
    static QVariant figure(const std::optional<double>& value) {
        return value ? QVariant(*value) : QVariant();
    }
};

}  // namespace qm
