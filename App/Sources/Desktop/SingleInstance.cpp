#include "SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

// A local socket connects or fails at once; the wait only bounds a holder that stopped reading.
constexpr int answerMillis = 2000;

// Where no other user can reach: a real folder, the user's own, open to no one else. Without
// XDG_RUNTIME_DIR, Qt answers "" when another user made its fallback first, which leaves "/".
bool isPrivateFolder(const QString& folder) {
    struct stat info {};
    return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

}  // namespace

QString SingleInstance::standardName() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/vantorel.instance");
}

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* caller = server_.nextPendingConnection()) {
            caller->deleteLater();
            emit raiseRequested();
        }
    });
    const QString folder = QFileInfo(name).path();
    if (!isPrivateFolder(folder)) {
        Log::session().warn(
            "more than one instance may run: {} is not a folder of this user's "
            "own with mode 0700; set XDG_RUNTIME_DIR to one",
            folder.toStdString());
        return;
    }
    // No socket options: with them Qt binds elsewhere and renames over the name, replacing a
    // running instance's socket instead of failing.
    if (server_.listen(name)) {
        return;
    }
    if (askHolderToRaise(name)) {
        primary_ = false;
        return;
    }
    // Nobody answers: what is there was left by a crash.
    QLocalServer::removeServer(name);
    if (!server_.listen(name)) {
        Log::session().warn("cannot hold the single-instance socket: {}",
                            server_.errorString().toStdString());
    }
}

bool SingleInstance::askHolderToRaise(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(answerMillis)) {
        return false;
    }
    socket.disconnectFromServer();
    return true;
}

}  // namespace qm
