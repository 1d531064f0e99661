#pragma once

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "QuillmereCore/Executor.h"
#include "QuillmereKit/Gaming/GameLibraryCache.h"
#include "QuillmereKit/Gaming/LibraryModel.h"
#include "QuillmereKit/Tasks/GuiTask.h"
#include "VisibleAppsModel.h"

namespace qm {

// The library screen's state for one phone: the cached list at once, then the phone's own list
// through `fetch`, saved back to the cache. Of overlapping refreshes only the newest changes
// anything. GUI thread.
class LibraryViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model makes one per phone")
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool showAllApps READ showAllApps NOTIFY showAllAppsChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString loadError READ loadError NOTIFY loadErrorChanged)
    Q_PROPERTY(VisibleAppsModel* visibleApps READ visibleApps CONSTANT)

public:
    // Asks the phone for its apps: all of them, or only what it counts as games. The task
    // settles on the GUI thread with the list or what went wrong.
    using Fetch = std::function<GuiTask<std::vector<AppInfo>>(bool includeAll)>;

    // Reads the cached list on `saveQueue` and shows it as soon as it is read, before any list
    // of the phone's. Saves go there too: the one "library.cache" queue of the process, so that
    // reads and saves of a phone never overlap.
    LibraryViewModel(std::string serial, GameLibraryCache cache, Fetch fetch, Executor& saveQueue,
                     QObject* parent = nullptr);

    QString searchText() const { return QString::fromStdString(model_.searchText()); }
    void setSearchText(const QString& text);
    bool showAllApps() const noexcept { return model_.showAllApps(); }
    bool isLoading() const noexcept { return isLoading_; }
    // Empty when the last refresh did not fail.
    QString loadError() const { return loadError_; }
    VisibleAppsModel* visibleApps() noexcept { return &visibleApps_; }
    const LibraryModel& model() const noexcept { return model_; }

    // Fetches the phone's list and shows it; a failure shows as loadError, the list stays.
    Q_INVOKABLE void refresh();
    // Then refreshes, so that the phone is asked for all apps or only games.
    Q_INVOKABLE void setShowAllApps(bool showAll);

    // The sentence the screen shows for a failed refresh.
    static QString friendlyMessage(const std::exception_ptr& error);

signals:
    void searchTextChanged();
    void showAllAppsChanged();
    void isLoadingChanged();
    void loadErrorChanged();
    // The phone's whole list changed, not only what is visible of it.
    void appsChanged();

private:
    // Every change of the list, the text or the flag shows in the visible apps.
    template <typename Change>
    void changeModel(Change&& change) {
        visibleApps_.update([&] {
            change();
            return model_.visibleApps();
        });
    }
    void showCached(const std::vector<AppInfo>& cached);
    void finishRefresh(int generation, const TaskOutcome<std::vector<AppInfo>>& outcome);
    void setLoading(bool loading);
    void setLoadError(const QString& text);
    void save();

    const std::string serial_;
    const GameLibraryCache cache_;
    const Fetch fetch_;
    Executor& saveQueue_;
    LibraryModel model_;
    bool isLoading_ = false;
    QString loadError_;
    int refreshGeneration_ = 0;
    VisibleAppsModel visibleApps_;
    // The cached list; a phone's list waits for it, so that it keeps the icons cached.
    GuiTask<std::vector<AppInfo>> cached_;
};

}  // namespace qm
