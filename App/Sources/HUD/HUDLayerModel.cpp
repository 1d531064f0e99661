#include "HUD/HUDLayerModel.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Editor/RowListModel.h"
#include "HUD/HUDTexts.h"
#include "QuillmereKit/HUD/HUDFormatter.h"
#include "QuillmereKit/HUD/ThermalSuggestions.h"

namespace qm {

namespace {

// A frozen stream reports the same NaN again; that is no change.
bool sameFigure(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

HUDLayerModel::HUDLayerModel(QObject* parent)
    : HUDLayerModel(std::make_unique<QtTimerSource>(), nullptr, std::chrono::steady_clock::now,
                    parent) {}

HUDLayerModel::HUDLayerModel(TimerSource& timers, Clock now, QObject* parent)
    : HUDLayerModel(nullptr, &timers, std::move(now), parent) {}

HUDLayerModel::HUDLayerModel(std::unique_ptr<TimerSource> ownTimers, TimerSource* timers, Clock now,
                             QObject* parent)
    : QObject(parent),
      ownTimers_(std::move(ownTimers)),
      now_(std::move(now)),
      timer_((timers ? *timers : *ownTimers_).makeTimer()),
      rows_(new RowListModel({"title", "value", "warning"}, this)),
      bannerOptions_(new RowListModel({"label"}, this)),
      lastFpsChange_(now_()) {
    refresh();
}

HUDLayerModel::~HUDLayerModel() = default;

void HUDLayerModel::setSession(StreamingSession* session) {
    if (session_ == session) {
        return;
    }
    if (session_) {
        disconnect(session_, nullptr, this, nullptr);
    }
    session_ = session;
    if (session) {
        connect(session, &StreamingSession::phaseChanged, this, [this] { followPhase(false); });
        connect(session, &StreamingSession::statsChanged, this, &HUDLayerModel::followStats);
        // By then the pointer is already null.
        connect(session, &QObject::destroyed, this, [this] { followPhase(false); });
    }
    followPhase(true);
    emit sessionChanged();
}

void HUDLayerModel::setSettings(AppSettings* settings) {
    if (settings_ != settings) {
        settings_ = settings;
        emit settingsChanged();
    }
}

QAbstractItemModel* HUDLayerModel::rows() const {
    return rows_;
}

QAbstractItemModel* HUDLayerModel::bannerOptions() const {
    return bannerOptions_;
}

void HUDLayerModel::apply(int option) {
    if (!session_ || !bannerRequest_ || option < 0 ||
        option >= static_cast<int>(bannerQualities_.size())) {
        return;
    }
    const ServerOptions options =
        bannerQualities_[static_cast<std::size_t>(option)].applied(*bannerRequest_);
    const QPointer<StreamingSession> session = session_;
    setWarningStatus(std::nullopt);
    if (session) {
        session->restartStream(options);
    }
}

void HUDLayerModel::dismiss() {
    setWarningStatus(std::nullopt);
}

void HUDLayerModel::toggleStyle() {
    if (settings_) {
        settings_->setHudStyle(toggledByClick(settings_->hudStyle()));
    }
}

SessionStats HUDLayerModel::displayedStats(const SessionStats& stats,
                                           std::chrono::steady_clock::time_point lastFpsChange,
                                           std::chrono::steady_clock::time_point now) {
    SessionStats shown = stats;
    if (!(now - lastFpsChange < fpsFreshness)) {
        shown.fps = std::numeric_limits<double>::quiet_NaN();
    }
    return shown;
}

void HUDLayerModel::followPhase(bool rebase) {
    const bool streaming = session_ && session_->phase().kind() == SessionPhase::Kind::streaming;
    if (streaming && (rebase || !shown_)) {
        watchedFps_ = session_->stats().fps;
        watchedStatus_ = thermalStatus();
    }
    if (streaming != shown_) {
        shown_ = streaming;
        if (streaming) {
            timer_->start(refreshInterval, [this] { tick(); });
        } else {
            timer_->cancel();
        }
        emit shownChanged();
    }
    refresh();
}

void HUDLayerModel::followStats() {
    if (!shown_) {
        return;
    }
    const double fps = session_->stats().fps;
    if (!sameFigure(fps, watchedFps_)) {
        watchedFps_ = fps;
        lastFpsChange_ = now_();
    }
    const int status = thermalStatus();
    if (status != watchedStatus_) {
        watchedStatus_ = status;
        if (const ThermalGuard::Advice advice = thermalGuard_.update(status)) {
            setWarningStatus(advice->status);
            return;
        }
    }
    refresh();
}

int HUDLayerModel::thermalStatus() const {
    const std::optional<PhoneTelemetry>& telemetry = session_->stats().telemetry;
    return telemetry ? telemetry->thermalStatus : -1;
}

void HUDLayerModel::tick() {
    timer_->start(refreshInterval, [this] { tick(); });
    refresh();
}

void HUDLayerModel::refresh() {
    const SessionStats stats = displayedStats(session_ ? session_->stats() : SessionStats::empty(),
                                              lastFpsChange_, now_());
    QList<RowListModel::Row> rows;
    for (const HUDItem& item : HUDFormatter::items(stats, true)) {
        rows.append(
            RowListModel::Row{HUDView::title(item.kind), HUDView::value(item), item.isWarning});
    }
    rows_->setRows(std::move(rows));
    const QString compact = CompactHUDView::text(stats);
    if (compact != compactText_) {
        compactText_ = compact;
        emit compactTextChanged();
    }

    // The request may come and go without a signal; each refresh looks again.
    std::optional<StreamRequest> request;
    if (shown_ && warningStatus_) {
        request = session_->activeRequest();
    }
    QString title;
    QList<RowListModel::Row> labels;
    bannerQualities_.clear();
    bannerRequest_.reset();
    if (request) {
        title = ThermalBanner::title(*warningStatus_);
        bannerRequest_ = request->options;
        bannerQualities_ = ThermalSuggestions::options(request->options);
        for (const StreamQuality& quality : bannerQualities_) {
            labels.append(RowListModel::Row{ThermalBanner::label(quality)});
        }
    }
    bannerOptions_->setRows(std::move(labels));
    if (title != bannerTitle_) {
        bannerTitle_ = title;
        emit bannerChanged();
    }
}

void HUDLayerModel::setWarningStatus(std::optional<int> status) {
    warningStatus_ = status;
    refresh();
}

}  // namespace qm
