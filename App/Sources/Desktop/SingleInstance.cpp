#include "SingleInstance.h"

#include <QLocalSocket>
#include <QStandardPaths>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

// A local socket connects or fails at once; the wait only bounds a holder that stopped reading.
constexpr int answerMillis = 2000;

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
    // No socket options: with them Qt binds elsewhere and renames over the name, replacing a
    // running instance's socket instead of failing. The runtime folder is the user's own.
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
