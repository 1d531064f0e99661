#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QString>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "Developer/FlashPixelSampler.h"
#include "Developer/FlashTestTarget.h"
#include "IPhoneMirror/TimerSource.h"
#include "QuillmereCore/HostClock.h"
#include "Telemetry/FlashTestReport.h"

namespace qm {

// Runs one screen-flash latency test from the user's go to its report: opens the black/green
// page on the phone, waits for it to show, watches the stream window's centre for 84 ticks
// while collecting the stream's own latency figure, then pairs the page's flips with what was
// seen. Holds the state the flash-test sheet shows. GUI thread.
class FlashTestRunner : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the one runner")
    Q_PROPERTY(bool isPresented READ isPresented WRITE setPresented NOTIFY isPresentedChanged)
    Q_PROPERTY(StateKind stateKind READ stateKind NOTIFY stateChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY stateChanged)
    Q_PROPERTY(Source source READ source NOTIFY stateChanged)
    Q_PROPERTY(double progress READ progress NOTIFY stateChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY stateChanged)
    Q_PROPERTY(bool reportFlagged READ reportFlagged NOTIFY stateChanged)
    Q_PROPERTY(QString failureMessage READ failureMessage NOTIFY stateChanged)

public:
    // How the page reaches the phone.
    enum class Source { dataURL, downloadsFile };
    Q_ENUM(Source)
    enum class StateKind { idle, confirm, running, finished, failed };
    Q_ENUM(StateKind)

    struct Idle {
        bool operator==(const Idle&) const = default;
    };
    struct Confirm {
        Source source;
        bool operator==(const Confirm&) const = default;
    };
    struct Running {
        double progress;  // ticks done out of `ticks`
        bool operator==(const Running&) const = default;
    };
    struct Finished {
        FlashTestReport report;
        bool operator==(const Finished&) const = default;
    };
    struct Failed {
        QString message;
        bool operator==(const Failed&) const = default;
    };
    // In the order of StateKind.
    using State = std::variant<Idle, Confirm, Running, Finished, Failed>;

    // What the app provides beyond the stream: the main window, timers and the sampler.
    struct Environment {
        TimerSource& timers;
        std::function<QQuickWindow*()> mainWindow = focusedWindow;
        std::function<bool()> screenRecordingAllowed = FlashPixelSampler::requestAccess;
        std::function<std::unique_ptr<FlashSampler>()> makeSampler = [] {
            return std::make_unique<FlashPixelSampler>();
        };
        std::function<std::uint64_t()> nowNanos = HostClock::nowNanos;
        // For the page to load and show before watching starts.
        std::chrono::milliseconds settleDelay{3000};
        // Each from the end of the last, so the whole takes a little over 84 of them.
        std::chrono::milliseconds tickInterval{250};
    };

    static constexpr int ticks = 84;

    // The window the user works in: the one with the focus, if Qt Quick draws it.
    static QQuickWindow* focusedWindow();

    explicit FlashTestRunner(Environment environment, QObject* parent = nullptr);
    // Mid-run, stops the sampler and publishes nothing.
    ~FlashTestRunner() override;

    const State& state() const noexcept { return state_; }
    bool isPresented() const noexcept { return isPresented_; }
    // The sheet's own dismissal; the state stays.
    void setPresented(bool presented);
    StateKind stateKind() const noexcept { return StateKind(state_.index()); }
    bool isRunning() const noexcept { return std::holds_alternative<Running>(state_); }
    Source source() const;
    double progress() const;
    QString summary() const;
    // A finished report that disagrees with the stream's figure or misses the baseline.
    bool reportFlagged() const;
    QString failureMessage() const;

    // Both are ignored while a test runs.
    Q_INVOKABLE void request(Source source);
    Q_INVOKABLE void cancel();
    // The sheet closed by Escape: a confirmation is cancelled, anything else only hidden.
    Q_INVOKABLE void dismiss();
    // Puts a finished test's summary on the clipboard in place of what was there.
    Q_INVOKABLE void copySummary() const;
    // Performs one test on `target`; ignored while one runs. Ends in `finished` or `failed`,
    // with the sheet shown again.
    void run(Source source, std::shared_ptr<const FlashTestTarget> target);

    // The user's words for a failure: ours for a FlashTestError, else the error's own text.
    static QString message(const std::exception_ptr& error);

signals:
    void isPresentedChanged();
    void stateChanged();

private:
    // What one run holds until it ends.
    struct Run {
        int generation = 0;
        std::shared_ptr<const FlashTestTarget> target;
        QPointer<QQuickWindow> window;
        std::unique_ptr<FlashSampler> sampler;
        std::uint64_t startNanos = 0;
        int ticksDone = 0;
        std::vector<double> hudLatencies;
    };

    void openPage(Source source, std::shared_ptr<FlashTestTarget::Phone> phone);
    void startSampling();
    void tick();
    void finish();
    FlashTestReport analyse(std::vector<FlashTransition> transitions, std::uint64_t endNanos);
    void fail(const std::exception_ptr& error);
    void stopSampler();
    void setState(State state);

    const Environment environment_;
    const std::unique_ptr<OneShotTimer> timer_;
    State state_;
    bool isPresented_ = false;
    int generation_ = 0;
    std::unique_ptr<Run> run_;
};

}  // namespace qm
