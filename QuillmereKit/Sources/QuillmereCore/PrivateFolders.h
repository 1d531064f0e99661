#pragma once

#include <filesystem>

namespace qm {

// Makes `folder` and every missing folder above it 0700, so that what is kept there (the host
// key beside the profiles and captures) is the user's alone; folders that exist are left as they
// are. Throws std::filesystem::filesystem_error. Blocks for file I/O; any thread.
void createPrivateFolders(const std::filesystem::path& folder);

// Whether `folder` is where no other user can reach: an absolute path (a relative one means
// another folder in each working folder) to a real folder, not a link, the effective user's own,
// with mode 0700. Any thread.
bool isPrivateFolder(const std::filesystem::path& folder);
// The same for a folder held open.
bool isPrivateFolder(int folder);

}  // namespace qm
