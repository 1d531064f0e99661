#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "ServerProtocol/ExtMessage.h"

namespace qm {

// The library screen's list of one phone's apps with its search text and show-all flag: which
// apps the grid shows and in which order, and how a fresh list from the phone keeps the icons
// already known. A value; GUI thread, as the collation it uses follows the current locale.
class LibraryModel {
public:
    // The list as given, not yet from the phone.
    explicit LibraryModel(std::vector<AppInfo> cached = {});

    // In the order received; replaced only by applyFresh().
    const std::vector<AppInfo>& apps() const noexcept { return apps_; }
    // Whether a list from the phone has been applied.
    bool isFresh() const noexcept { return isFresh_; }

    // As typed, not trimmed.
    const std::string& searchText() const noexcept { return searchText_; }
    void setSearchText(std::string text) { searchText_ = std::move(text); }
    // Off: only what the phone counts as games.
    bool showAllApps() const noexcept { return showAllApps_; }
    void setShowAllApps(bool showAll) noexcept { showAllApps_ = showAll; }

    // Takes the phone's list in its order; an app without an icon keeps the one this list had
    // for its package (the first, when the package is listed twice).
    void applyFresh(std::vector<AppInfo> fresh);

    // The apps the grid shows, in library order: games unless showAllApps, whose label or
    // package holds the trimmed search text, ignoring case and accents. Views into apps(),
    // valid until the list changes.
    std::vector<const AppInfo*> visibleApps() const;

    // Library order: most recently used first, then labels as people sort them (numbers by
    // value, case ignored), then package names byte by byte; ties keep their order.
    static std::vector<AppInfo> sorted(std::vector<AppInfo> apps);

private:
    // Made once per list, so that a keystroke only filters.
    struct SearchKeys {
        QString label;
        QString packageName;
    };

    static bool matches(const SearchKeys& app, const QString& query);
    void index();

    std::vector<AppInfo> apps_;
    bool isFresh_ = false;
    std::string searchText_;
    bool showAllApps_ = false;
    std::vector<SearchKeys> searchKeys_;  // one per app
    std::vector<std::size_t> order_;      // positions in apps_, in library order
};

}  // namespace qm
