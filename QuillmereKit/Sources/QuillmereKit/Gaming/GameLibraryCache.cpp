#include "QuillmereKit/Gaming/GameLibraryCache.h"

#include <set>
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

// Empty for anything that is not a PNG file of reasonable size.
Bytes readIcon(const fs::path& file) noexcept {
    try {
        std::optional<Bytes> icon = AtomicFile::read(file, GameLibraryCache::maxIconSize);
        if (icon && asText(*icon).starts_with(pngSignature)) {
            return std::move(*icon);
        }
    } catch (...) {
    }
    return {};
}

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
        const auto entries = GameLibraryIndex::decode(*data);
        if (!entries) {
            return {};
        }
        std::vector<AppInfo> apps;
        apps.reserve(entries->size());
        for (const GameLibraryIndex::Entry& entry : *entries) {
            apps.push_back({entry.packageName, entry.label, entry.isGame, entry.lastUsedMillis,
                            entry.iconFile ? readIcon(phone / iconsName / sanitize(*entry.iconFile))
                                           : Bytes{}});
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
