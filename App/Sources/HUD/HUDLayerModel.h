#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "IPhoneMirror/TimerSource.h"
#include "QuillmereKit/Session/StreamQuality.h"
#include "QuillmereKit/Session/StreamingSession.h"
#include "ServerProtocol/ServerOptions.h"
#include "Storage/AppSettings.h"
#include "Telemetry/ThermalGuard.h"

namespace qm {

class RowListModel;

// What the HUD layer over a stream view shows: nothing unless the session streams, else the
// statistics rows or the compact line, refreshed twice a second, and the thermal banner with
// its lighter stream options. A frame rate that has not changed for a second shows as unknown.
// Its guard and banner live as long as the stream view, across gaps in streaming. GUI thread
// only.
class HUDLayerModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qm::StreamingSession* session READ session WRITE setSession NOTIFY sessionChanged)
    Q_PROPERTY(AppSettings* settings READ settings WRITE setSettings NOTIFY settingsChanged)
    Q_PROPERTY(bool shown READ isShown NOTIFY shownChanged)
    // The full HUD's rows. Roles: title, value, warning.
    Q_PROPERTY(QAbstractItemModel* rows READ rows CONSTANT)
    Q_PROPERTY(QString compactText READ compactText NOTIFY compactTextChanged)
    Q_PROPERTY(bool showsBanner READ showsBanner NOTIFY bannerChanged)
    Q_PROPERTY(QString bannerTitle READ bannerTitle NOTIFY bannerChanged)
    // The banner's option buttons, in the order the suggestions come. Role: label.
    Q_PROPERTY(QAbstractItemModel* bannerOptions READ bannerOptions CONSTANT)

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr std::chrono::milliseconds refreshInterval{500};
    // How long a frame rate stays shown without changing.
    static constexpr std::chrono::milliseconds fpsFreshness{1000};
    static constexpr int thermalThreshold = 2;

    // Qt timers and the steady clock, for the views that make their own.
    explicit HUDLayerModel(QObject* parent = nullptr);
    // The refresh timer comes from `timers`, which must outlive the model.
    HUDLayerModel(TimerSource& timers, Clock now, QObject* parent = nullptr);
    ~HUDLayerModel() override;

    StreamingSession* session() const { return session_; }
    void setSession(StreamingSession* session);
    AppSettings* settings() const { return settings_; }
    void setSettings(AppSettings* settings);

    bool isShown() const noexcept { return shown_; }
    QAbstractItemModel* rows() const;
    QString compactText() const { return compactText_; }
    bool showsBanner() const noexcept { return !bannerTitle_.isEmpty(); }
    QString bannerTitle() const { return bannerTitle_; }
    QAbstractItemModel* bannerOptions() const;
    // The thermal status the banner shows; none hides it.
    std::optional<int> warningStatus() const noexcept { return warningStatus_; }

    // Restarts the stream with that banner option applied to the options it was offered for.
    Q_INVOKABLE void apply(int option);
    // Closes the banner; the phone has to cool down before it comes again.
    Q_INVOKABLE void dismiss();
    // A click on the HUD panel: full and compact swap.
    Q_INVOKABLE void toggleStyle();

    // The stats as shown: the frame rate unknown unless it changed less than a second ago.
    static SessionStats displayedStats(const SessionStats& stats,
                                       std::chrono::steady_clock::time_point lastFpsChange,
                                       std::chrono::steady_clock::time_point now);

signals:
    void sessionChanged();
    void settingsChanged();
    void shownChanged();
    void compactTextChanged();
    void bannerChanged();

private:
    HUDLayerModel(std::unique_ptr<TimerSource> ownTimers, TimerSource* timers, Clock now,
                  QObject* parent);

    // Takes the watched figures as they are when streaming (re)starts or the session changes.
    void followPhase(bool rebase);
    void followStats();
    // The thermal status as the banner watches it: -1 without telemetry.
    int thermalStatus() const;
    void tick();
    void refresh();
    void setWarningStatus(std::optional<int> status);

    std::unique_ptr<TimerSource> ownTimers_;
    const Clock now_;
    const std::unique_ptr<OneShotTimer> timer_;
    QPointer<StreamingSession> session_;
    QPointer<AppSettings> settings_;
    bool shown_ = false;
    RowListModel* rows_;
    RowListModel* bannerOptions_;
    QString compactText_;
    QString bannerTitle_;

    ThermalGuard thermalGuard_{thermalThreshold};
    std::optional<int> warningStatus_;
    std::chrono::steady_clock::time_point lastFpsChange_;
    // What the watches compare against, taken when streaming (re)starts.
    double watchedFps_ = 0;
    int watchedStatus_ = -1;
    // The request the banner's options were made for, and those options.
    std::optional<ServerOptions> bannerRequest_;
    std::vector<StreamQuality> bannerQualities_;
};

}  // namespace qm
