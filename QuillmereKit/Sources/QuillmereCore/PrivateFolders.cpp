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

bool isPrivateFolder(const std::filesystem::path& folder) {
    struct stat info {};
    return !folder.empty() && ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace qm
