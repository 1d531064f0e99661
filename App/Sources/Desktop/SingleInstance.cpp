#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <array>

#include <pwd.h>
#include <unistd.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/PrivateFolders.h"

namespace qm {

namespace {

// A local socket connects or fails at once; the wait only bounds a holder that stopped reading.
constexpr int answerMillis = 2000;

// The name of the effective user, as Qt puts it in its fallback runtime folder.
QString userName() {
    std::array<char, 1024> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return QString::number(::geteuid());
    }
    return QFile::decodeName(found->pw_name);
}

}  // namespace

QString SingleInstance::standardName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        // Qt refused the folder it tries last; that one is named, and refused again, here.
        folder = QDir::tempPath() + QStringLiteral("/runtime-") + userName();
    }
    return folder + QStringLiteral("/vantorel.instance");
}

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* caller = server_.nextPendingConnection()) {
            caller->deleteLater();
            emit raiseRequested();
        }
    });
    const QString folder = QFileInfo(name).path();
    if (!isPrivateFolder(QFile::encodeName(folder).toStdString())) {
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
