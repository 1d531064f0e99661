#pragma once

#include <QDir>
#include <QString>
#include <QtGlobal>

namespace qm::test {

// Points HOME and the XDG folders into `home`: a run reads and writes none of the user's files.
inline void useHome(const QString& home) {
    const QDir folder(home);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", folder.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", folder.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", folder.filePath("cache").toUtf8());
}

}  // namespace qm::test
