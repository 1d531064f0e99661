#include "ScriptedHttpServer.h"

#include <QTcpSocket>
#include <algorithm>
#include <memory>

namespace qm::test {

namespace {

constexpr qint64 chunkSize = 64 * 1024;
// Socket bytes waiting to go out before the next chunk is made: keeps a large answer lazy.
constexpr qint64 backlog = 256 * 1024;
constexpr qint64 maxRequestHead = 16 * 1024;

}  // namespace

ScriptedHttpServer::ScriptedHttpServer() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            auto head = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head] {
                if (head->contains("\r\n\r\n")) {
                    socket->readAll();
                    return;
                }
                head->append(socket->readAll());
                if (head->size() > maxRequestHead) {
                    socket->abort();
                } else if (head->contains("\r\n\r\n")) {
                    const QList<QByteArray> line = head->left(head->indexOf("\r\n")).split(' ');
                    serve(socket, line.value(1));
                }
            });
        }
    });
}

QString ScriptedHttpServer::url(const QByteArray& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromLatin1(path));
}

void ScriptedHttpServer::serve(QTcpSocket* socket, const QByteArray& path) {
    requests_.append(path);
    const auto found = answers_.find(path);
    const Answer answer = found != answers_.end() ? found->second : Answer{.status = 404};
    const qint64 size = answer.generatedSize > 0 ? answer.generatedSize : answer.body.size();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Scripted\r\n";
    head += "Content-Length: " + QByteArray::number(answer.contentLength.value_or(size)) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto& [name, value] : answer.headers) {
        head += name + ": " + value + "\r\n";
    }
    socket->write(head + "\r\n");

    const qint64 end = std::min(size, answer.sendAtMost.value_or(size));
    auto sent = std::make_shared<qint64>(0);
    auto more = [this, socket, answer, end, sent] {
        while (*sent < end && socket->bytesToWrite() < backlog) {
            const qint64 n = std::min(chunkSize, end - *sent);
            socket->write(answer.generatedSize > 0 ? QByteArray(n, 'x')
                                                   : answer.body.mid(*sent, n));
            *sent += n;
            bodyBytesSent_ += n;
        }
        if (*sent == end && socket->bytesToWrite() == 0 && !answer.stall) {
            socket->disconnectFromHost();
        }
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

}  // namespace qm::test
