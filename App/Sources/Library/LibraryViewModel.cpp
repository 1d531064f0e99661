#include "LibraryViewModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <utility>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/TypedError.h"
#include "QuillmereKit/Diagnostics/ErrorPresenter.h"
#include "QuillmereKit/Gaming/LibraryLoadError.h"
#include "QuillmereKit/Session/SessionTypes.h"

namespace qm {

LibraryViewModel::LibraryViewModel(std::string serial, GameLibraryCache cache, Fetch fetch,
                                   Executor& saveQueue, QObject* parent)
    : QObject(parent),
      serial_(std::move(serial)),
      cache_(std::move(cache)),
      fetch_(std::move(fetch)),
      saveQueue_(saveQueue),
      visibleApps_(this),
      cached_(this) {
    saveQueue_.post([cache = cache_, serial = serial_, cached = cached_] {
        cached.settleLater(cache.load(serial));
    });
    cached_.then([this](const TaskOutcome<std::vector<AppInfo>>& outcome) {
        if (outcome.hasValue()) {
            showCached(outcome.get());
        }
    });
}

void LibraryViewModel::setSearchText(const QString& text) {
    std::string typed = text.toStdString();
    if (typed == model_.searchText()) {
        return;
    }
    changeModel([&] { model_.setSearchText(std::move(typed)); });
    emit searchTextChanged();
}

void LibraryViewModel::refresh() {
    const int generation = ++refreshGeneration_;
    setLoading(true);
    fetch_(model_.showAllApps()).then([self = QPointer(this), generation](const auto& outcome) {
        if (self) {
            self->cached_.then([self, generation, outcome](const auto&) {
                self->finishRefresh(generation, outcome);
            });
        }
    });
}

void LibraryViewModel::setShowAllApps(bool showAll) {
    const bool changed = showAll != model_.showAllApps();
    changeModel([&] { model_.setShowAllApps(showAll); });
    if (changed) {
        emit showAllAppsChanged();
    }
    refresh();
}

QString LibraryViewModel::friendlyMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const LibraryLoadError&) {
        return tr("The phone didn’t respond. Reconnect the cable and try again.");
    } catch (const SessionFailure& failure) {
        return ErrorPresenter::present(failure).message();
    } catch (...) {
        return QCoreApplication::translate("ErrorPresenter", ErrorPresenter::Key::generic);
    }
}

void LibraryViewModel::showCached(const std::vector<AppInfo>& cached) {
    changeModel([&] {
        LibraryModel seeded(cached);
        seeded.setSearchText(model_.searchText());
        seeded.setShowAllApps(model_.showAllApps());
        model_ = std::move(seeded);
    });
    emit appsChanged();
}

void LibraryViewModel::finishRefresh(int generation,
                                     const TaskOutcome<std::vector<AppInfo>>& outcome) {
    // A later refresh owns the loading flag and the error text.
    if (generation != refreshGeneration_) {
        return;
    }
    setLoading(false);
    // Given up, not failed (the app quits): nothing to tell.
    if (outcome.isCancelled()) {
        return;
    }
    std::vector<AppInfo> fresh;
    try {
        fresh = outcome.get();
    } catch (...) {
        setLoadError(friendlyMessage(std::current_exception()));
        return;
    }
    changeModel([&] { model_.applyFresh(std::move(fresh)); });
    emit appsChanged();
    setLoadError({});
    save();
}

void LibraryViewModel::setLoading(bool loading) {
    if (loading != isLoading_) {
        isLoading_ = loading;
        emit isLoadingChanged();
    }
}

void LibraryViewModel::setLoadError(const QString& text) {
    if (text != loadError_) {
        loadError_ = text;
        emit loadErrorChanged();
    }
}

void LibraryViewModel::save() {
    saveQueue_.post([cache = cache_, serial = serial_, apps = model_.apps()] {
        try {
            cache.save(apps, serial);
        } catch (...) {
            Log::session().error("library cache save failed: {}",
                                 Log::privateValue(describe(std::current_exception())));
        }
    });
}

}  // namespace qm
