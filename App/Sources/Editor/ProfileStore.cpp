#include "ProfileStore.h"

#include <QFile>
#include <QStandardPaths>
#include <system_error>

#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileCodec.h"
#include "QuillmereCore/AtomicFile.h"
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

// A file name holds 255 bytes, its temporary twin's suffix included: longer names end in a hash
// instead, and shorter ones keep the names stored profiles have.
constexpr std::string_view extension = ".json";
constexpr std::size_t maxStem = 255 - extension.size() - AtomicFile::temporarySuffixLength;

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
    std::optional<GameKeymaps> keymaps = KeymapFile::read(fileURL(package), migratedLayoutName);
    if (!keymaps && package.size() > maxStem) {
        // Saved before names got the longer hash.
        keymaps = KeymapFile::read(
            directory / fileName(package, legacyNameHashSuffix, legacyNameHashSuffixLength),
            migratedLayoutName);
    }
    if (!keymaps) {
        return std::nullopt;
    }
    return keymaps->rebound(package);
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
    if (package.size() > maxStem) {
        std::filesystem::remove(
            directory / fileName(package, legacyNameHashSuffix, legacyNameHashSuffixLength));
    }
}

}  // namespace qm
