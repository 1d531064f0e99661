#pragma once

#include <QTemporaryDir>
#include <QtGlobal>

namespace qm::test {

// Points HOME and the XDG folders into `home`: a run reads and writes none of the user's files.
inline void useHome(const QTemporaryDir& home) {
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath("cache").toUtf8());
}

}  // namespace qm::test
