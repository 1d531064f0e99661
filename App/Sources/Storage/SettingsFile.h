#pragma once

#include <QString>
#include <cstddef>
#include <optional>

#include <sys/types.h>

#include "QuillmereCore/Bytes.h"

namespace qm {

// What stands at the place of the user's settings file, looked at before anything reads it:
// without waiting (a FIFO is never opened), without reading more than a settings file holds, and
// following a link only to a regular file of the user's own, as dotfile managers install them.
// Any thread; blocks for file I/O.
struct SettingsFile {
    // Far beyond what the app writes; a larger file counts as one that cannot be read.
    static constexpr std::size_t maxSize = 1 << 20;

    enum class Kind {
        usable,      // a regular file, a link to one of the user's own, or nothing yet
        unreadable,  // cannot be opened or read, or is too large
        link,        // a link to anything else, or to nothing
        other,       // a FIFO, a device, a folder, a socket
    };

    Kind kind = Kind::usable;
    // Where a usable place's writes go: the file, or the link's target.
    QString target;
    // A usable file's bytes; none while there is no file yet.
    std::optional<Bytes> contents;
    // A usable file's permission bits, which every write keeps.
    mode_t mode = 0600;
    // What a link that is not followed points to, as it says.
    QString linkText;

    static SettingsFile look(const QString& file);
};

}  // namespace qm
