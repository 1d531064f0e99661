#include "QuillmereKit/Gaming/LibraryModel.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "QuillmereCore/UnicodeText.h"

namespace qm {

namespace {

// Decomposed, without combining marks, case-folded: "Pokémon" and "POKEMON" meet as "pokemon".
QString folded(std::string_view text) {
    QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                         .normalized(QString::NormalizationForm_D);
    result.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return result.toCaseFolded();
}

// The current locale's collation, except that the C locale's compares code points, which would
// put "Level 10" before "Level 2": there English stands in.
QCollator labelCollator() {
    const QLocale current;
    return QCollator(current.language() == QLocale::C ? QLocale(QLocale::English) : current);
}

std::vector<std::size_t> libraryOrder(const std::vector<AppInfo>& apps) {
    QCollator collator = labelCollator();
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> labels;
    labels.reserve(apps.size());
    for (const AppInfo& app : apps) {
        labels.push_back(collator.sortKey(QString::fromStdString(app.label)));
    }
    std::vector<std::size_t> order(apps.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (apps[a].lastUsedMillis != apps[b].lastUsedMillis) {
            return apps[a].lastUsedMillis > apps[b].lastUsedMillis;
        }
        if (const int byLabel = labels[a].compare(labels[b]); byLabel != 0) {
            return byLabel < 0;
        }
        return apps[a].packageName < apps[b].packageName;
    });
    return order;
}

}  // namespace

LibraryModel::LibraryModel(std::vector<AppInfo> cached) : apps_(std::move(cached)) {
    index();
}

void LibraryModel::applyFresh(std::vector<AppInfo> fresh) {
    std::unordered_map<std::string_view, const Bytes*> icons;
    for (const AppInfo& app : apps_) {
        icons.try_emplace(app.packageName, &app.iconPNG);
    }
    for (AppInfo& app : fresh) {
        if (!app.iconPNG.empty()) {
            continue;
        }
        if (const auto known = icons.find(app.packageName); known != icons.end()) {
            app.iconPNG = *known->second;
        }
    }
    apps_ = std::move(fresh);
    isFresh_ = true;
    index();
}

std::vector<const AppInfo*> LibraryModel::visibleApps() const {
    const QString query = folded(UnicodeText::trimmed(searchText_));
    std::vector<const AppInfo*> visible;
    visible.reserve(order_.size());
    for (const std::size_t i : order_) {
        const AppInfo& app = apps_[i];
        if ((showAllApps_ || app.isGame) && (query.isEmpty() || matches(searchKeys_[i], query))) {
            visible.push_back(&app);
        }
    }
    return visible;
}

std::vector<AppInfo> LibraryModel::sorted(std::vector<AppInfo> apps) {
    std::vector<AppInfo> result;
    result.reserve(apps.size());
    for (const std::size_t i : libraryOrder(apps)) {
        result.push_back(std::move(apps[i]));
    }
    return result;
}

bool LibraryModel::matches(const SearchKeys& app, const QString& query) {
    return app.label.contains(query) || app.packageName.contains(query);
}

void LibraryModel::index() {
    searchKeys_.clear();
    searchKeys_.reserve(apps_.size());
    for (const AppInfo& app : apps_) {
        searchKeys_.push_back({folded(app.label), folded(app.packageName)});
    }
    order_ = libraryOrder(apps_);
}

}  // namespace qm
