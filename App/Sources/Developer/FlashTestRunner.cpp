#include "FlashTestRunner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQuickItem>
#include <optional>
#include <string>
#include <utility>

#include "Developer/FlashTestError.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/TypedError.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "Telemetry/FlashTestAnalyzer.h"
#include "Telemetry/FlashTestPage.h"

namespace qm {

namespace {

// The part of the window the stream is drawn in, in scene coordinates: an application window's
// content item leaves out its menu bar.
std::optional<QRectF> contentFrame(QQuickWindow* window) {
    if (!window) {
        return std::nullopt;
    }
    auto* content = window->property("contentItem").value<QQuickItem*>();
    if (!content) {
        return std::nullopt;
    }
    return content->mapRectToScene(QRectF(0, 0, content->width(), content->height()));
}

}  // namespace

QQuickWindow* FlashTestRunner::focusedWindow() {
    return qobject_cast<QQuickWindow*>(QGuiApplication::focusWindow());
}

FlashTestRunner::FlashTestRunner(Environment environment, QObject* parent)
    : QObject(parent),
      environment_(std::move(environment)),
      timer_(environment_.timers.makeTimer()) {}

FlashTestRunner::~FlashTestRunner() {
    stopSampler();
}

void FlashTestRunner::setPresented(bool presented) {
    if (presented != isPresented_) {
        isPresented_ = presented;
        emit isPresentedChanged();
    }
}

FlashTestRunner::Source FlashTestRunner::source() const {
    const auto* confirm = std::get_if<Confirm>(&state_);
    return confirm ? confirm->source : Source::dataURL;
}

double FlashTestRunner::progress() const {
    const auto* running = std::get_if<Running>(&state_);
    return running ? running->progress : 0;
}

QString FlashTestRunner::summary() const {
    const auto* finished = std::get_if<Finished>(&state_);
    return finished ? QString::fromStdString(finished->report.summary()) : QString();
}

bool FlashTestRunner::reportFlagged() const {
    const auto* finished = std::get_if<Finished>(&state_);
    return finished && (finished->report.hudMismatch || !finished->report.meetsBaseline);
}

QString FlashTestRunner::failureMessage() const {
    const auto* failed = std::get_if<Failed>(&state_);
    return failed ? failed->message : QString();
}

void FlashTestRunner::request(Source source) {
    if (isRunning()) {
        return;
    }
    setState(Confirm{source});
    setPresented(true);
}

void FlashTestRunner::cancel() {
    if (isRunning()) {
        return;
    }
    setState(Idle{});
    setPresented(false);
}

void FlashTestRunner::dismiss() {
    if (std::holds_alternative<Confirm>(state_)) {
        cancel();
    } else {
        setPresented(false);
    }
}

void FlashTestRunner::copySummary() const {
    if (std::holds_alternative<Finished>(state_)) {
        QGuiApplication::clipboard()->setText(summary());
    }
}

void FlashTestRunner::run(Source source, std::shared_ptr<const FlashTestTarget> target) {
    if (isRunning()) {
        return;
    }
    run_ = std::make_unique<Run>();
    run_->generation = ++generation_;
    run_->target = std::move(target);
    run_->window = environment_.mainWindow ? environment_.mainWindow() : nullptr;
    setPresented(false);
    setState(Running{0});
    try {
        // The first failing check wins; nothing reaches the phone before the page.
        if (!environment_.screenRecordingAllowed()) {
            throw FlashTestError::screenRecordingDenied();
        }
        if (!run_->target || !run_->target->flashClock()) {
            throw FlashTestError::noClockSync();
        }
        std::shared_ptr<FlashTestTarget::Phone> phone = run_->target->phone();
        if (!phone) {
            throw FlashTestError::noDevice();
        }
        if (!contentFrame(run_->window)) {
            throw FlashTestError::windowNotFound();
        }
        openPage(source, std::move(phone));
    } catch (...) {
        fail(std::current_exception());
    }
}

void FlashTestRunner::openPage(Source source, std::shared_ptr<FlashTestTarget::Phone> phone) {
    runOnWorker(this, [source, phone = std::move(phone)] {
        if (source == Source::dataURL) {
            phone->shell(FlashTestPage::openCommand(FlashTestPage::dataURL()));
            return;
        }
        const std::string path(FlashTestPage::devicePath);
        phone->push(asBytes(FlashTestPage::html), path, 0644);
        phone->shell(FlashTestPage::openCommand("file://" + path));
    }).then([this, generation = run_->generation](const TaskOutcome<void>& outcome) {
        // The continuation runs only while this runner lives.
        if (!run_ || run_->generation != generation) {
            return;
        }
        if (const std::exception_ptr error = outcome.error()) {
            fail(error);
            return;
        }
        timer_->start(environment_.settleDelay, [this] { startSampling(); });
    });
}

void FlashTestRunner::startSampling() {
    try {
        const std::optional<QRectF> frame = contentFrame(run_->window);
        if (!frame) {
            throw FlashTestError::windowNotFound();
        }
        // A sampler that failed to start watches nothing and is not kept.
        std::unique_ptr<FlashSampler> sampler = environment_.makeSampler();
        sampler->start(run_->window, FlashPixelSampler::sampleRegion(*frame));
        run_->sampler = std::move(sampler);
    } catch (...) {
        fail(std::current_exception());
        return;
    }
    run_->startNanos = environment_.nowNanos();
    timer_->start(environment_.tickInterval, [this] { tick(); });
}

void FlashTestRunner::tick() {
    if (const std::optional<double> latency = run_->target->latencyMillis()) {
        run_->hudLatencies.push_back(*latency);
    }
    ++run_->ticksDone;
    setState(Running{double(run_->ticksDone) / ticks});
    if (run_->ticksDone < ticks) {
        timer_->start(environment_.tickInterval, [this] { tick(); });
    } else {
        finish();
    }
}

void FlashTestRunner::finish() {
    const std::uint64_t endNanos = environment_.nowNanos();
    std::vector<FlashTransition> transitions = run_->sampler->stop();
    run_->sampler.reset();
    try {
        FlashTestReport report = analyse(std::move(transitions), endNanos);
        Log::video().info("flash test\n{}", report.summary());
        run_.reset();
        setState(Finished{std::move(report)});
        setPresented(true);
    } catch (...) {
        fail(std::current_exception());
    }
}

FlashTestReport FlashTestRunner::analyse(std::vector<FlashTransition> transitions,
                                         std::uint64_t endNanos) {
    // A stream that lost its extension channel meanwhile has no clock to measure by.
    const std::optional<FlashClock> clock = run_->target->flashClock();
    if (!clock) {
        throw FlashTestError::noClockSync();
    }
    const std::optional<std::int64_t> from = clock->phoneWallMillis(run_->startNanos);
    const std::optional<std::int64_t> end = clock->phoneWallMillis(endNanos);
    std::int64_t to = 0;
    if (!from || !end || __builtin_sub_overflow(*end, FlashTestAnalyzer::periodMillis, &to)) {
        throw FlashTestError::noClockSync();
    }
    // The flips after the start and at least one period before the end, when the last could
    // still be on its way.
    const std::vector<ScheduledFlip> flips = FlashTestAnalyzer::scheduledFlips(*from, to);
    std::optional<FlashTestReport> report =
        FlashTestAnalyzer::report(FlashTestAnalyzer::latenciesMillis(flips, transitions, *clock),
                                  int(flips.size()), FlashTestAnalyzer::median(run_->hudLatencies));
    if (!report) {
        throw FlashTestError::nothingDetected();
    }
    return std::move(*report);
}

void FlashTestRunner::fail(const std::exception_ptr& error) {
    Log::video().error("flash test failed: {}", describe(error));
    stopSampler();
    timer_->cancel();
    run_.reset();
    setState(Failed{message(error)});
    setPresented(true);
}

void FlashTestRunner::stopSampler() {
    if (run_ && run_->sampler) {
        run_->sampler->stop();
        run_->sampler.reset();
    }
}

void FlashTestRunner::setState(State state) {
    if (state != state_) {
        state_ = std::move(state);
        emit stateChanged();
    }
}

QString FlashTestRunner::message(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const FlashTestError& flash) {
        switch (flash.kind()) {
            case FlashTestErrorKind::screenRecordingDenied:
                return tr("Allow Screen Recording for Vantorel, then run the test again.");
            case FlashTestErrorKind::windowNotFound:
                return tr("Stream window not found. Start a stream first.");
            case FlashTestErrorKind::noClockSync:
                return tr("No clock sync yet. Start a stream and wait a few seconds.");
            case FlashTestErrorKind::noDevice:
                return tr("The phone is not connected.");
            case FlashTestErrorKind::nothingDetected:
                return tr("No flips detected. Is the black/green page open on the phone?");
        }
        return QString::fromStdString(flash.message());
    } catch (...) {
    }
    // The phone's errors are told as a stream's are: the log has their own text.
    const SessionFailure failed = failure(error);
    if (failed.kind() == SessionFailureKind::disconnected) {
        return tr("The phone is not connected.");
    }
    return ErrorPresenter::present(failed).message();
}

}  // namespace qm
