#include "QuillmereKit/Gaming/GameLibraryCache.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <system_error>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Gaming/GameLibraryIndex.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr mode_t fileMode = 0644;
constexpr std::string_view indexName = "index.json";
constexpr std::string_view iconsName = "icons";
constexpr std::string_view pngSignature = "\x89PNG\r\n\x1A\n";

bool isAllowed(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// Empty for anything that is not a PNG file of at most `maxSize` bytes.
Bytes readIcon(const fs::path& file, std::size_t maxSize) noexcept {
    try {
        std::optional<Bytes> icon = AtomicFile::read(file, maxSize);
        if (icon && asText(*icon).starts_with(pngSignature)) {
            return std::move(*icon);
        }
    } catch (...) {
    }
    return {};
}

// The icons of one load: each file read once, whatever number of entries names it, and every
// copy handed out counted against one budget.
class IconReader {
public:
    explicit IconReader(fs::path folder) : folder_(std::move(folder)) {}

    Bytes icon(const std::string& name) {
        auto [known, isNew] = read_.try_emplace(name);
        if (isNew) {
            known->second =
                readIcon(folder_ / name, std::min(GameLibraryCache::maxIconSize, left_));
        }
        const Bytes& icon = known->second;
        if (icon.size() > left_) {
            return {};
        }
        left_ -= icon.size();
        return icon;
    }

private:
    const fs::path folder_;
    std::map<std::string, Bytes, std::less<>> read_;  // by file name; empty where none is kept
    std::size_t left_ = GameLibraryCache::maxIconBytesPerLoad;
};

// Removes every entry not written by this save, whatever its kind; a link goes, never what it
// points to. Failures are left alone: the next save tries again.
void prune(const fs::path& icons, const std::set<std::string, std::less<>>& keep) {
    std::error_code error;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(icons, error), end; !error && it != end; it.increment(error)) {
        if (!keep.contains(it->path().filename().string())) {
            stale.push_back(it->path());
        }
    }
    for (const fs::path& path : stale) {
        fs::remove_all(path, error);
    }
}

}  // namespace

std::vector<AppInfo> GameLibraryCache::load(std::string_view serial) const noexcept {
    try {
        const fs::path phone = directory_ / sanitize(serial);
        const std::optional<Bytes> data = AtomicFile::read(phone / indexName, maxIndexSize);
        if (!data) {
            return {};
        }
        auto entries = GameLibraryIndex::decode(*data);
        if (!entries) {
            return {};
        }
        const std::size_t count = std::min(entries->size(), maxEntries);
        IconReader icons(phone / iconsName);
        std::vector<AppInfo> apps;
        apps.reserve(count);
        for (GameLibraryIndex::Entry& entry : std::span(*entries).first(count)) {
            apps.push_back({std::move(entry.packageName), std::move(entry.label), entry.isGame,
                            entry.lastUsedMillis,
                            entry.iconFile ? icons.icon(sanitize(*entry.iconFile)) : Bytes{}});
        }
        return apps;
    } catch (...) {
        return {};
    }
}

void GameLibraryCache::save(const std::vector<AppInfo>& apps, std::string_view serial) const {
    const fs::path phone = directory_ / sanitize(serial);
    const fs::path icons = phone / iconsName;
    fs::create_directories(icons);

    std::set<std::string, std::less<>> written;
    std::vector<GameLibraryIndex::Entry> entries;
    entries.reserve(apps.size());
    for (const AppInfo& app : apps) {
        GameLibraryIndex::Entry& entry = entries.emplace_back(GameLibraryIndex::Entry{
            app.packageName, app.label, app.isGame, app.lastUsedMillis, std::nullopt});
        if (app.iconPNG.empty()) {
            continue;
        }
        std::string name = sanitize(app.packageName) + ".png";
        AtomicFile::write(icons / name, app.iconPNG, fileMode);
        entry.iconFile = name;
        written.insert(std::move(name));
    }
    AtomicFile::write(phone / indexName, asBytes(GameLibraryIndex::encode(entries)), fileMode);
    prune(icons, written);
}

std::string GameLibraryCache::sanitize(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (const std::string_view character : UnicodeText::characters(text)) {
        safe += character.size() == 1 && isAllowed(character.front()) ? character.front() : '_';
    }
    if (safe.empty() || safe == "." || safe == "..") {
        safe.insert(safe.begin(), '_');
    }
    return safe;
}

}  // namespace qm
