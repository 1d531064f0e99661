#pragma once

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QTemporaryFile>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QtQml/qqmlregistration.h>
#include <nlohmann/json.hpp>

#include "IPhoneMirror/TimerSource.h"
#include "Updates/Appcast.h"
#include "Updates/DistributionConfig.h"
#include "Updates/UpdateTransfer.h"

namespace qm {

class UpdateError;

// What the updater needs from its surroundings; tests replace the clock, the timers, the waits,
// the network and the desktop.
struct UpdaterOptions {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    // Qt timers when none; must outlive the updater.
    TimerSource* timers = nullptr;
    std::chrono::milliseconds checkInterval = std::chrono::hours(24);
    // Without a byte moving for this long, a transfer fails.
    std::chrono::milliseconds transferTimeout = std::chrono::seconds(30);
    // Qt's own when none; must outlive the updater.
    QNetworkAccessManager* network = nullptr;
    // The system's resolver when empty.
    UpdateTransfer::HostLookup lookup{};
    // The user's download folder when empty.
    QString downloadFolder{};
    // The system's browser when none.
    std::function<void(const QUrl&)> openURL{};
    // "Show in Folder" for a saved update.
    std::function<void(const QString& file)> reveal{};
};

// The build's own updates: the appcast at the configured feed is checked at start when the last
// check is a day old, then daily, and on demand; its newest item above this build's version is
// offered, downloaded, checked against the build's Ed25519 key and saved in the download folder
// for the package manager to install. Without a valid feed and key, or under a test host, there
// is no updater: nothing runs and checking stays disabled. GUI thread only.
//
// The window shows `answer`, window-modal, with `answerText` and these buttons:
//   offer: "Release Notes" (only with `hasReleaseNotes`), "Download", "Later" (dismiss);
//   downloading: `downloadProgress` and "Cancel" (dismiss);
//   upToDate, failed: "OK" (dismiss); saved: "Show in Folder", "OK" (dismiss).
// A scheduled check answers only with an offer; its failures are logged.
class AppUpdater : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application makes the updater")

public:
    enum class Answer { none, offer, upToDate, failed, saved, downloading };
    Q_ENUM(Answer)

private:
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(Answer answer READ answer NOTIFY answerChanged)
    Q_PROPERTY(QString answerText READ answerText NOTIFY answerChanged)
    Q_PROPERTY(bool hasReleaseNotes READ hasReleaseNotes NOTIFY answerChanged)
    Q_PROPERTY(double downloadProgress READ downloadProgress NOTIFY downloadProgressChanged)

public:
    // The QSettings key of the last check's time, ISO 8601 in UTC.
    static constexpr const char* lastCheckTimeKey = "SULastCheckTime";
    static constexpr qint64 maxFeedSize = 2 * 1024 * 1024;

    // `info` is the bundle's Info.json; `hostingTests`, when given, decides whether this runs under
    // a test host, else the environment's QM_HOSTED_BY_TESTS does. `defaults` must outlive it.
    AppUpdater(const nlohmann::json& info, QSettings& defaults,
               std::optional<bool> hostingTests = std::nullopt, UpdaterOptions options = {},
               QObject* parent = nullptr);

    const DistributionConfig& config() const noexcept { return config_; }
    bool running() const noexcept { return network_ != nullptr; }
    bool canCheckForUpdates() const noexcept { return running() && !busy_; }
    Answer answer() const noexcept { return answer_; }
    const QString& answerText() const noexcept { return answerText_; }
    bool hasReleaseNotes() const noexcept;
    // From 0 to 1 while downloading; -1 when the size was not announced.
    double downloadProgress() const noexcept;

    // A check the user asked for; it always answers. Nothing while one runs or without updater.
    Q_INVOKABLE void checkForUpdates();
    Q_INVOKABLE void openReleaseNotes();
    Q_INVOKABLE void download();
    Q_INVOKABLE void showInFolder();
    // Closes the answer; a download under way is cancelled and nothing of it kept.
    Q_INVOKABLE void dismiss();

signals:
    void canCheckForUpdatesChanged();
    void answerChanged();
    void downloadProgressChanged();

private:
    void scheduleFirstCheck();
    void scheduledCheck();
    void startCheck(bool manual);
    void feedArrived(const UpdateTransfer::Result& result, bool manual);
    // Throws UpdateError when the feed has nothing to offer.
    void feedRead(const AppcastChoice& choice, bool manual);
    void downloadArrived(const UpdateTransfer::Result& result, const UpdateOffer& offer);
    void saved(const QString& file);
    void failed(const UpdateError& error, bool speak);
    void setBusy(bool busy);
    void setAnswer(Answer answer, const QString& text = {});

    DistributionConfig config_;
    QSettings& defaults_;
    UpdaterOptions options_;
    std::optional<UpdateVersion> current_;
    QString currentDisplay_;
    QByteArray publicKey_;
    std::unique_ptr<QNetworkAccessManager> ownNetwork_;
    // Set once the updater runs.
    QNetworkAccessManager* network_ = nullptr;
    std::unique_ptr<TimerSource> ownTimers_;
    std::unique_ptr<OneShotTimer> schedule_;
    std::unique_ptr<UpdateTransfer> transfer_;
    QByteArray feed_;
    std::unique_ptr<QTemporaryFile> downloadFile_;
    std::optional<qint64> downloadSize_;
    qint64 downloaded_ = 0;
    // Counts downloads started and cancelled: a check that ends after its download was cancelled
    // keeps nothing.
    int downloads_ = 0;
    bool busy_ = false;
    Answer answer_ = Answer::none;
    QString answerText_;
    std::optional<UpdateOffer> offer_;
    QString savedFile_;
};

}  // namespace qm
