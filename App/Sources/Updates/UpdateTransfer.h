#pragma once

#include <QByteArrayView>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace qm {

// One GET for the updater. Redirects are followed only to addresses that pass the link rule of
// `feed`, the feed the address came from; the body reaches `sink` chunk by chunk, and only in a
// 200 answer; past `limit` bytes of any answer the transfer stops. `done` is called once, queued;
// dropping the transfer before then aborts it, and `done` is not called. GUI thread only.
class UpdateTransfer {
public:
    struct Result {
        // The HTTP status, when the server answered.
        std::optional<int> status;
        // Why the transfer failed on its own; empty when it ended cleanly or was stopped here.
        QString error;
        qint64 received = 0;
        bool overLimit = false;
        // The sink refused a chunk.
        bool sinkFailed = false;
    };
    // Answers false to stop the transfer.
    using Sink = std::function<bool(QByteArrayView chunk)>;
    using Done = std::function<void(const Result&)>;

    UpdateTransfer(QNetworkAccessManager& network, const QUrl& url, const QUrl& feed, qint64 limit,
                   Sink sink, Done done);
    ~UpdateTransfer();
    UpdateTransfer(const UpdateTransfer&) = delete;
    UpdateTransfer& operator=(const UpdateTransfer&) = delete;

private:
    void receive();
    void stop();

    // The receiver of the reply's signals, which go with it.
    QObject context_;
    QPointer<QNetworkReply> reply_;
    qint64 limit_;
    Sink sink_;
    Done done_;
    Result result_;
    bool stopped_ = false;
};

}  // namespace qm
