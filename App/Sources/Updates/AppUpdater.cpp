#include "Updates/AppUpdater.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <utility>

#include "QuillmereCore/Log.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "Updates/UpdateError.h"
#include "Updates/UpdateFile.h"

namespace qm {

namespace {

constexpr std::string_view bundleVersionKey = "CFBundleVersion";
constexpr std::string_view shortVersionKey = "CFBundleShortVersionString";
constexpr std::size_t maxLoggedSkips = 20;

}  // namespace

AppUpdater::AppUpdater(const nlohmann::json& info, QSettings& defaults,
                       std::optional<bool> hostingTests, UpdaterOptions options, QObject* parent)
    : QObject(parent), config_(info), defaults_(defaults), options_(std::move(options)) {
    if (!config_.updatesEnabled()) {
        return;
    }
    if (hostingTests.value_or(qEnvironmentVariableIsSet("QM_HOSTED_BY_TESTS"))) {
        return;
    }
    const std::optional<QString> version = DistributionConfig::text(info, bundleVersionKey);
    current_ = version ? UpdateVersion::parse(*version) : std::nullopt;
    if (!current_) {
        Log::updates().warn("no updates: {} is not a dot-separated version", bundleVersionKey);
        return;
    }
    currentDisplay_ = DistributionConfig::text(info, shortVersionKey).value_or(*version);
    publicKey_ = *base64OfSize(*config_.sparklePublicKey, 32);
    if (!options_.timers) {
        ownTimers_ = std::make_unique<QtTimerSource>();
        options_.timers = ownTimers_.get();
    }
    if (options_.downloadFolder.isEmpty()) {
        options_.downloadFolder =
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    }
    if (!options_.openURL) {
        options_.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    }
    runOnWorker(this, [folder = options_.downloadFolder] { UpdateFile::removeLeftovers(folder); });
    if (!options_.network) {
        ownNetwork_ = std::make_unique<QNetworkAccessManager>();
    }
    network_ = options_.network ? options_.network : ownNetwork_.get();
    network_->setTransferTimeout(static_cast<int>(options_.transferTimeout.count()));
    schedule_ = options_.timers->makeTimer();
    scheduleFirstCheck();
}

bool AppUpdater::hasReleaseNotes() const noexcept {
    return answer_ == Answer::offer && offer_ && offer_->releaseNotes;
}

double AppUpdater::downloadProgress() const noexcept {
    if (!downloadSize_) {
        return -1;
    }
    return *downloadSize_ == 0 ? 1 : double(downloaded_) / double(*downloadSize_);
}

void AppUpdater::checkForUpdates() {
    if (canCheckForUpdates()) {
        startCheck(true);
    }
}

void AppUpdater::openReleaseNotes() {
    if (hasReleaseNotes()) {
        options_.openURL(*offer_->releaseNotes);
    }
}

void AppUpdater::download() {
    if (answer_ != Answer::offer || !offer_ || busy_) {
        return;
    }
    const UpdateOffer offer = *std::exchange(offer_, std::nullopt);
    setAnswer(Answer::downloading, tr("Downloading Vantorel %1…").arg(offer.displayVersion));
    QDir().mkpath(options_.downloadFolder);
    auto file =
        std::make_unique<QTemporaryFile>(UpdateFile::temporaryPattern(options_.downloadFolder));
    if (!file->open()) {
        failed(UpdateError::notSaved(file->errorString()), true);
        return;
    }
    UpdateFile::claim(file->handle());
    downloadFile_ = std::move(file);
    downloadSize_ = offer.length;
    downloaded_ = 0;
    ++downloads_;
    emit downloadProgressChanged();
    setBusy(true);
    transfer_ = std::make_unique<UpdateTransfer>(
        *network_, offer.url, *config_.feedURL, offer.length.value_or(UpdateOffer::maxDownloadSize),
        [this](QByteArrayView chunk) {
            if (downloadFile_->write(chunk.data(), chunk.size()) != chunk.size()) {
                return false;
            }
            downloaded_ += chunk.size();
            emit downloadProgressChanged();
            return true;
        },
        [this, offer](const UpdateTransfer::Result& result) { downloadArrived(result, offer); },
        options_.lookup);
}

void AppUpdater::showInFolder() {
    if (answer_ == Answer::saved && options_.reveal) {
        options_.reveal(savedFile_);
    }
    dismiss();
}

void AppUpdater::dismiss() {
    if (answer_ == Answer::downloading) {
        ++downloads_;
        transfer_.reset();
        downloadFile_.reset();
        setBusy(false);
        Log::updates().info("download cancelled");
    }
    offer_.reset();
    setAnswer(Answer::none);
}

void AppUpdater::scheduleFirstCheck() {
    const QDateTime last =
        QDateTime::fromString(defaults_.value(lastCheckTimeKey).toString(), Qt::ISODate);
    const QDateTime now = options_.now();
    std::chrono::milliseconds wait{0};
    // A time in the future means the clock was wrong then or is now: check.
    if (last.isValid() && last <= now) {
        wait = std::max(std::chrono::milliseconds{0},
                        options_.checkInterval - std::chrono::milliseconds(last.msecsTo(now)));
    }
    schedule_->start(wait, [this] { scheduledCheck(); });
}

void AppUpdater::scheduledCheck() {
    if (busy_ || answer_ != Answer::none) {
        // The user is busy with the last one; the next comes a whole interval later.
        schedule_->start(options_.checkInterval, [this] { scheduledCheck(); });
        return;
    }
    startCheck(false);
}

void AppUpdater::startCheck(bool manual) {
    defaults_.setValue(lastCheckTimeKey, options_.now().toUTC().toString(Qt::ISODate));
    schedule_->start(options_.checkInterval, [this] { scheduledCheck(); });
    setBusy(true);
    feed_.clear();
    transfer_ = std::make_unique<UpdateTransfer>(
        *network_, *config_.feedURL, *config_.feedURL, maxFeedSize,
        [this](QByteArrayView chunk) {
            feed_.append(chunk);
            return true;
        },
        [this, manual](const UpdateTransfer::Result& result) { feedArrived(result, manual); },
        options_.lookup);
}

void AppUpdater::feedArrived(const UpdateTransfer::Result& result, bool manual) {
    transfer_.reset();
    try {
        if (result.leadsHere) {
            throw UpdateError::leadsHere();
        }
        if (result.status && *result.status != 200) {
            throw UpdateError::serverStatus(*result.status);
        }
        if (result.overLimit) {
            throw UpdateError::feedTooLarge();
        }
        if (!result.error.isEmpty()) {
            throw UpdateError::network(result.error);
        }
    } catch (const UpdateError& error) {
        failed(error, manual);
        return;
    }
    // Up to 2 MiB of XML: read off the GUI thread.
    runOnWorker(this, [feed = std::exchange(feed_, {}), url = *config_.feedURL] {
        return chooseNewest(parseAppcast(feed), url);
    }).then([this, manual](const TaskOutcome<AppcastChoice>& outcome) {
        try {
            feedRead(outcome.get(), manual);
        } catch (const UpdateError& error) {
            failed(error, manual);
        } catch (const std::exception&) {
            failed(UpdateError::feedUnreadable(), manual);
        }
    });
}

void AppUpdater::feedRead(const AppcastChoice& choice, bool manual) {
    // A feed of many bad items must not flood the log.
    for (std::size_t i = 0; i < std::min(choice.skipped.size(), maxLoggedSkips); ++i) {
        Log::updates().info("an item of the feed was skipped: {}", choice.skipped[i]);
    }
    if (choice.skipped.size() > maxLoggedSkips) {
        Log::updates().info("and {} more items", choice.skipped.size() - maxLoggedSkips);
    }
    if (!choice.newest) {
        throw UpdateError::feedUnreadable();
    }
    setBusy(false);
    if (*current_ < choice.newest->version) {
        offer_ = choice.newest;
        setAnswer(Answer::offer, tr("Vantorel %1 is available. You have %2.")
                                     .arg(offer_->displayVersion, currentDisplay_));
    } else if (manual) {
        setAnswer(Answer::upToDate, tr("Vantorel %1 is the newest version.").arg(currentDisplay_));
    }
}

void AppUpdater::downloadArrived(const UpdateTransfer::Result& result, const UpdateOffer& offer) {
    transfer_.reset();
    try {
        if (result.leadsHere) {
            throw UpdateError::leadsHere();
        }
        if (result.status && *result.status != 200) {
            throw UpdateError::serverStatus(*result.status);
        }
        if (result.sinkFailed || !downloadFile_->flush()) {
            throw UpdateError::notSaved(downloadFile_->errorString());
        }
        const bool whole = !offer.length || result.received == *offer.length;
        if (result.overLimit || !result.error.isEmpty() || !whole) {
            throw UpdateError::incomplete();
        }
    } catch (const UpdateError& error) {
        failed(error, true);
        return;
    }
    // Kept open: it stays claimed until it has its name.
    runOnWorker(this, [file = downloadFile_->fileName(), folder = options_.downloadFolder,
                       name = UpdateFile::saveName(offer.url, offer.displayVersion), offer,
                       key = publicKey_] {
        if (!UpdateFile::verify(file, offer, key)) {
            throw UpdateError::badSignature();
        }
        return UpdateFile::place(file, folder, name);
    }).then([this, download = downloads_](const TaskOutcome<QString>& outcome) {
        if (download != downloads_) {
            // Cancelled while it was checked: what got saved goes too.
            try {
                QFile::remove(outcome.get());
            } catch (const std::exception&) {
            }
            return;
        }
        try {
            saved(outcome.get());
        } catch (const UpdateError& error) {
            failed(error, true);
        } catch (const std::exception& error) {
            failed(UpdateError::notSaved(QString::fromStdString(error.what())), true);
        }
    });
}

void AppUpdater::saved(const QString& file) {
    downloadFile_->setAutoRemove(false);
    downloadFile_.reset();
    savedFile_ = file;
    Log::updates().info("update saved as {}", file.toStdString());
    setBusy(false);
    setAnswer(Answer::saved, tr("Install it with your package manager."));
}

void AppUpdater::failed(const UpdateError& error, bool speak) {
    // The temporary file goes with it.
    downloadFile_.reset();
    Log::updates().warn("{}", error.caseText());
    setBusy(false);
    if (speak) {
        setAnswer(Answer::failed, error.text());
    }
}

void AppUpdater::setBusy(bool busy) {
    const bool could = canCheckForUpdates();
    busy_ = busy;
    if (canCheckForUpdates() != could) {
        emit canCheckForUpdatesChanged();
    }
}

void AppUpdater::setAnswer(Answer answer, const QString& text) {
    if (answer == answer_ && text == answerText_) {
        return;
    }
    answer_ = answer;
    answerText_ = text;
    emit answerChanged();
}

}  // namespace qm
