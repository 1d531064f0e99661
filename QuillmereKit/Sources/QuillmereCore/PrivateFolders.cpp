#include "QuillmereCore/PrivateFolders.h"

#include <cerrno>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace qm {

void createPrivateFolders(const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::is_directory(folder)) {
        return;
    }
    createPrivateFolders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return;
    }
    const int error = errno;
    // Made meanwhile by someone else: as good as found.
    if (error != EEXIST || !std::filesystem::is_directory(folder)) {
        throw std::filesystem::filesystem_error("cannot create folder", folder,
                                                std::error_code(error, std::generic_category()));
    }
}

namespace {

bool isPrivate(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace

bool isPrivateFolder(const std::filesystem::path& folder) {
    struct stat info {};
    return folder.is_absolute() && ::lstat(folder.c_str(), &info) == 0 && isPrivate(info);
}

bool isPrivateFolder(int folder) {
    struct stat info {};
    return ::fstat(folder, &info) == 0 && isPrivate(info);
}

}  // namespace qm
