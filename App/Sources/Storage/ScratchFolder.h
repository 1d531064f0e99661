#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <variant>

#include "QuillmereCore/Bytes.h"
#include "QuillmereCore/FileDescriptor.h"

namespace qm {

// A folder of the app's own for the copy of the user's settings that Qt works on: in the user's
// runtime folder (private, and emptied at logout) where that is absolute, the user's own and
// 0700, else in the temporary folder. It is locked while the app runs and removed when it goes;
// one that a killed run left is unlocked, and the next start removes it. Everything goes through
// the folder held open, never through a name that someone could point elsewhere meanwhile. Any
// thread; blocks for file I/O.
class ScratchFolder {
    struct Made {};

public:
    // Why no folder could be made: the place tried first and the system's word.
    struct Failure {
        QString place;
        QString reason;
    };

    // The name of the copy in the folder.
    static const QString copyName;

    // The folder in the first place that can hold `copy`, written there as copyName with mode
    // 0600; a place that cannot (a full one) is given up for the next.
    static std::variant<std::unique_ptr<ScratchFolder>, Failure> make(
        const std::optional<Bytes>& copy = std::nullopt);

    ScratchFolder(Made, FileDescriptor place, QByteArray name, FileDescriptor folder);  // make()'s
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    // The folder as reached through the one held open: a path for Qt's files, not for people.
    QString path() const;

private:
    // The folder, or the system's word on why none could be made there.
    static std::variant<std::unique_ptr<ScratchFolder>, int> makeIn(
        FileDescriptor place, const std::optional<Bytes>& copy);

    FileDescriptor place_;
    QByteArray name_;
    FileDescriptor folder_;  // locked
};

}  // namespace qm
