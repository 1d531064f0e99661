#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include <sys/types.h>

#include "QuillmereCore/Bytes.h"

// Whole files that a crash never leaves half-written: settings, keys, profiles, caches. Every
// call blocks for file I/O; any thread.
namespace qm::AtomicFile {

// The whole file; nothing when there is no file at that path. Any other failure throws
// std::filesystem::filesystem_error: EFBIG for a file larger than `maxSize`, EISDIR or EINVAL
// for anything but a regular file (a FIFO is refused, never waited on). Never changes the file.
std::optional<Bytes> read(const std::filesystem::path& file, std::size_t maxSize);

// The same for a file the caller opened, read from where it stands; `shown` names it in errors.
Bytes read(int file, std::size_t maxSize, const std::filesystem::path& shown);

// The same for the entry `name` of the open folder `folder`, never reached through a link: a link
// there fails with ELOOP.
std::optional<Bytes> read(int folder, const std::string& name, std::size_t maxSize);

// Whether a write may take the place of what stands at the name.
enum class Existing { replace, keep };

// Replaces `file` (or creates it) with `bytes` and the permission bits `mode`: a temporary file in
// the same folder, its name of a fixed length whatever the file's, is written, synced and renamed
// over `file`, then the folder is synced. With Existing::keep nothing at that name is ever
// replaced, a link included: the write fails with EEXIST instead.
// Throws std::filesystem::filesystem_error; `file` is then as it was and no temporary is left.
void write(const std::filesystem::path& file, ByteView bytes, mode_t mode,
           Existing existing = Existing::replace);

// The same for the entry `name` of the open folder `folder`: neither the temporary file nor `name`
// is ever reached through a link.
void write(int folder, const std::string& name, ByteView bytes, mode_t mode);

}  // namespace qm::AtomicFile
