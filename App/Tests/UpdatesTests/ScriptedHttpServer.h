#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <map>
#include <optional>
#include <utility>

namespace qm::test {

// An HTTP/1.1 server on 127.0.0.1 giving each path its scripted answer (404 for any other), one
// request per connection. Runs on the test's event loop.
class ScriptedHttpServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body{};
        // Instead of `body`: this many filler bytes, made as they are sent.
        qint64 generatedSize = 0;
        // Announced as Content-Length; the body's size when unset.
        std::optional<qint64> contentLength{};
        // Only this much of the body is sent; then the connection is closed, or kept open in
        // silence when `stall` is set.
        std::optional<qint64> sendAtMost{};
        bool stall = false;
        QList<std::pair<QByteArray, QByteArray>> headers{};
    };

    ScriptedHttpServer();

    void answer(const QByteArray& path, Answer answer) { answers_[path] = std::move(answer); }
    QString url(const QByteArray& path) const;
    quint16 port() const { return server_.serverPort(); }
    // The paths asked for, in order.
    const QList<QByteArray>& requests() const { return requests_; }
    // Body bytes handed to the sockets, over all answers.
    qint64 bodyBytesSent() const { return bodyBytesSent_; }

private:
    void serve(QTcpSocket* socket, const QByteArray& path);

    QTcpServer server_;
    std::map<QByteArray, Answer> answers_;
    QList<QByteArray> requests_;
    qint64 bodyBytesSent_ = 0;
};

}  // namespace qm::test
