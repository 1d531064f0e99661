#include "QuillmereKit/Gaming/GameLibraryCache.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <span>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "QuillmereCore/AtomicFile.h"
#include "QuillmereCore/FileDescriptor.h"
#include "QuillmereCore/NameHash.h"
#include "QuillmereCore/PrivateFolders.h"
#include "QuillmereCore/UnicodeText.h"
#include "QuillmereKit/Gaming/GameLibraryIndex.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// Which apps the phone holds is the user's business alone, as the data folder's files are.
constexpr mode_t fileMode = 0600;
constexpr mode_t folderMode = 0700;
constexpr std::string_view indexName = "index.json";
constexpr std::string_view iconsName = "icons";
constexpr std::string_view pngSignature = "\x89PNG\r\n\x1A\n";

bool isAllowed(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// Empty for anything that is not a PNG file of at most `maxSize` bytes.
Bytes readIcon(int folder, const std::string& name, std::size_t maxSize) noexcept {
    try {
        std::optional<Bytes> icon = AtomicFile::read(folder, name, maxSize);
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
    // No icons when the folder is not open.
    explicit IconReader(FileDescriptor folder) : folder_(std::move(folder)) {}

    Bytes icon(const std::string& name) {
        auto [known, isNew] = read_.try_emplace(name);
        if (isNew && folder_) {
            known->second =
                readIcon(folder_.get(), name, std::min(GameLibraryCache::maxIconSize, left_));
        }
        const Bytes& icon = known->second;
        if (icon.size() > left_) {
            return {};
        }
        left_ -= icon.size();
        return icon;
    }

private:
    const FileDescriptor folder_;
    std::map<std::string, Bytes, std::less<>> read_;  // by file name; empty where none is kept
    std::size_t left_ = GameLibraryCache::maxIconBytesPerLoad;
};

constexpr std::string_view pngExtension = ".png";
// Deeper folders planted among the icons are left for the next save.
constexpr int maxRemovalDepth = 16;

[[noreturn]] void fail(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// The folder `name` inside `parent`, made when missing; a link there is refused, never followed.
FileDescriptor openFolder(int parent, const std::string& name, const fs::path& shown) {
    if (::mkdirat(parent, name.c_str(), folderMode) != 0 && errno != EEXIST) {
        fail("cannot create the folder", shown, errno);
    }
    FileDescriptor folder(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        fail("cannot open the folder", shown, errno);
    }
    return folder;
}

// The folder `name` inside `parent` as it is; not open when it is missing or a link.
FileDescriptor openExisting(int parent, const std::string& name) {
    return FileDescriptor(
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Every name in the open folder but "." and ".."; none when it cannot be listed.
std::vector<std::string> namesIn(int folder) {
    std::vector<std::string> names;
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!listing) {
        if (listed >= 0) {
            ::close(listed);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    ::closedir(listing);
    return names;
}

// Removes the entry `name` of the open folder, a folder with all it holds; a link goes, never
// what it points to. Failures are left alone: the next save tries again.
void removeEntry(int folder, const std::string& name, int depth) {
    if (::unlinkat(folder, name.c_str(), 0) == 0 || errno != EISDIR || depth == 0) {
        return;
    }
    const FileDescriptor inner(
        ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!inner) {
        return;
    }
    for (const std::string& innerName : namesIn(inner.get())) {
        removeEntry(inner.get(), innerName, depth - 1);
    }
    ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
}

// Removes every entry not written by this save, whatever its kind.
void prune(int icons, const std::set<std::string, std::less<>>& keep) {
    for (const std::string& name : namesIn(icons)) {
        if (!keep.contains(name)) {
            removeEntry(icons, name, maxRemovalDepth);
        }
    }
}

// sanitize() with the hash suffix given.
std::string sanitized(std::string_view text, std::size_t room,
                      std::string (*suffix)(std::string_view), std::size_t suffixLength) {
    std::string safe;
    safe.reserve(text.size());
    for (const std::string_view character : UnicodeText::characters(text)) {
        safe += character.size() == 1 && isAllowed(character.front()) ? character.front() : '_';
    }
    if (safe.empty() || safe == "." || safe == "..") {
        safe.insert(safe.begin(), '_');
    }
    const std::size_t limit = GameLibraryCache::maxNameLength - room;
    if (safe == text && safe.size() <= limit) {
        return safe;
    }
    // Other texts sanitise to the same name or begin alike: the text's own hash keeps them apart.
    safe.resize(std::min(safe.size(), limit - suffixLength));
    return safe + suffix(text);
}

}  // namespace

std::vector<AppInfo> GameLibraryCache::load(std::string_view serial) const noexcept {
    try {
        // As in a save, no link below the root is followed.
        const FileDescriptor root(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!root) {
            return {};
        }
        FileDescriptor phone = openExisting(root.get(), sanitize(serial));
        if (!phone && errno == ENOENT) {
            phone = openExisting(
                root.get(), sanitized(serial, 0, legacyNameHashSuffix, legacyNameHashSuffixLength));
        }
        if (!phone) {
            return {};
        }
        const std::optional<Bytes> data =
            AtomicFile::read(phone.get(), std::string(indexName), maxIndexSize);
        if (!data) {
            return {};
        }
        auto entries = GameLibraryIndex::decode(*data);
        if (!entries) {
            return {};
        }
        const std::size_t count = std::min(entries->size(), maxEntries);
        IconReader icons(openExisting(phone.get(), std::string(iconsName)));
        std::vector<AppInfo> apps;
        apps.reserve(count);
        for (GameLibraryIndex::Entry& entry : std::span(*entries).first(count)) {
            // A planted index may name anything; only what a phone's list could hold is kept.
            if (!AppInfo::isValidPackageName(entry.packageName)) {
                continue;
            }
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
    // The root is the application's own choice; below it, no link is followed.
    createPrivateFolders(directory_);
    const FileDescriptor root(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root) {
        fail("cannot open the folder", directory_, errno);
    }
    const std::string phoneName = sanitize(serial);
    const FileDescriptor phone = openFolder(root.get(), phoneName, directory_ / phoneName);
    const FileDescriptor icons =
        openFolder(phone.get(), std::string(iconsName), directory_ / phoneName / iconsName);

    std::set<std::string, std::less<>> written;
    std::vector<GameLibraryIndex::Entry> entries;
    entries.reserve(apps.size());
    for (const AppInfo& app : apps) {
        GameLibraryIndex::Entry& entry = entries.emplace_back(GameLibraryIndex::Entry{
            app.packageName, app.label, app.isGame, app.lastUsedMillis, std::nullopt});
        if (app.iconPNG.empty()) {
            continue;
        }
        std::string name =
            sanitize(app.packageName, pngExtension.size()) + std::string(pngExtension);
        AtomicFile::write(icons.get(), name, app.iconPNG, fileMode);
        entry.iconFile = name;
        written.insert(std::move(name));
    }
    AtomicFile::write(phone.get(), std::string(indexName),
                      asBytes(GameLibraryIndex::encode(entries)), fileMode);
    prune(icons.get(), written);
}

std::string GameLibraryCache::sanitize(std::string_view text, std::size_t room) {
    return sanitized(text, room, nameHashSuffix, nameHashSuffixLength);
}

}  // namespace qm
