#include "ProfileStore.h"

#include <QFile>
#include <QStandardPaths>
#include <system_error>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "QuillmereCore/Log.h"
#include "QuillmereCore/NameHash.h"
#include "QuillmereCore/PrivateFolders.h"
#include "ServerProtocol/ExtMessage.h"

namespace qm {

ProfileStoreError ProfileStoreError::invalidPackageName(std::string name) {
    const std::string caseText = caseWithText("invalidPackageName", name);
    return ProfileStoreError(Kind::invalidPackageName, caseText, caseText, std::move(name));
}

std::optional<std::filesystem::path> ProfileStore::defaultDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(QFile::encodeName(data).toStdString()) / "Profiles";
}

namespace {

// Longer names end in a hash instead; the 7 bytes once left for the temporary file's suffix are
// kept, so that every name keeps the file stored under it.
constexpr std::string_view extension = ".json";
constexpr std::size_t maxStem = 255 - extension.size() - 7;

std::string fileName(const std::string& package, std::string (*suffix)(std::string_view),
                     std::size_t suffixLength) {
    if (package.size() <= maxStem) {
        return package + std::string(extension);
    }
    return package.substr(0, maxStem - suffixLength) + suffix(package) + std::string(extension);
}

}  // namespace

std::filesystem::path ProfileStore::fileURL(const std::string& package) const {
    if (!AppInfo::isValidPackageName(package)) {
        throw ProfileStoreError::invalidPackageName(package);
    }
    return directory / fileName(package, nameHashSuffix, nameHashSuffixLength);
}

std::optional<GameKeymaps> ProfileStore::loadKeymaps(const std::string& package,
                                                     std::string_view migratedLayoutName) const {
    const std::filesystem::path file = fileURL(package);
    std::optional<GameKeymaps> keymaps = KeymapFile::read(file, migratedLayoutName);
    if (!keymaps) {
        keymaps = readEarlierFile(package, migratedLayoutName);
        if (!keymaps) {
            return std::nullopt;
        }
        try {
            KeymapFile::write(file, *keymaps);
        } catch (const KeymapFileError& error) {
            // Read all the same; the next save writes the new name.
            Log::input().warn("profile not moved to its new name: {}", error.message());
        }
    }
    return keymaps->rebound(package);
}

std::optional<GameKeymaps> ProfileStore::readEarlierFile(
    const std::string& package, std::string_view migratedLayoutName) const {
    if (package.size() <= maxStem) {
        return std::nullopt;
    }
    // Two packages can share the 32-bit hash: the file is this game's only if it says so.
    std::optional<GameKeymaps> keymaps =
        KeymapFile::read(earlierFileURL(package), migratedLayoutName);
    if (!keymaps || keymaps->packageName != package) {
        return std::nullopt;
    }
    return keymaps;
}

std::filesystem::path ProfileStore::earlierFileURL(const std::string& package) const {
    return directory / fileName(package, legacyNameHashSuffix, legacyNameHashSuffixLength);
}

void ProfileStore::save(const GameKeymaps& keymaps) const {
    const std::filesystem::path file = fileURL(keymaps.packageName);
    ProfileCodec::validate(keymaps);
    // It may be the first to make the data folder, where the host key goes too.
    createPrivateFolders(directory);
    try {
        KeymapFile::write(file, keymaps);
        return;
    } catch (const KeymapFileError& error) {
        // Only a file that reads but does not decode is set aside.
        if (error.kind() != KeymapFileErrorKind::refusedToReplace || !error.profileError()) {
            throw;
        }
    }
    std::filesystem::path backup = file;
    backup += ".bak";
    std::filesystem::rename(file, backup);
    try {
        KeymapFile::write(file, keymaps);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::rename(backup, file, ignored);
        throw;
    }
}

void ProfileStore::remove(const std::string& package) const {
    std::filesystem::remove(fileURL(package));
    bool earlier = false;
    try {
        earlier = readEarlierFile(package, "Main").has_value();
    } catch (const KeymapFileError&) {
        // Whose file it is cannot be told, so it stays.
    }
    if (earlier) {
        std::filesystem::remove(earlierFileURL(package));
    }
}

}  // namespace qm
