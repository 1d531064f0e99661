#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace qm {

// One GET for the updater. Only a feed on this computer or its network may lead there: a host
// other than the feed's own is resolved first and judged by its addresses, and the request goes
// to the address judged, so that a name cannot resolve elsewhere by the time it is connected.
// Redirects are followed here, each judged the same way and by the link rule of `feed`, the feed
// the address came from. The body reaches `sink` chunk by chunk, and only in a 200 answer; past
// `limit` bytes of all answers the transfer stops. `done` is called once, queued; dropping the
// transfer before then aborts it, and `done` is not called. GUI thread only.
class UpdateTransfer {
public:
    struct Result {
        // The HTTP status of the last answer, when the server answered.
        std::optional<int> status;
        // Why the transfer failed on its own; empty when it ended cleanly or was stopped here.
        QString error;
        // Bytes of the last answer's body.
        qint64 received = 0;
        bool overLimit = false;
        // The sink refused a chunk.
        bool sinkFailed = false;
        // The address or a redirect led to this computer or its network from a feed elsewhere;
        // nothing was asked of it.
        bool leadsHere = false;
    };
    // Answers false to stop the transfer.
    using Sink = std::function<bool(QByteArrayView chunk)>;
    using Done = std::function<void(const Result&)>;
    using Addresses = std::function<void(const QList<QHostAddress>&)>;
    // Answers the addresses of `host`, none when it has none, unless `context` is gone first.
    using HostLookup = std::function<void(const QString& host, QObject* context, Addresses answer)>;

    // The system's resolver when `lookup` is empty.
    UpdateTransfer(QNetworkAccessManager& network, const QUrl& url, const QUrl& feed, qint64 limit,
                   Sink sink, Done done, HostLookup lookup = {});
    ~UpdateTransfer();
    UpdateTransfer(const UpdateTransfer&) = delete;
    UpdateTransfer& operator=(const UpdateTransfer&) = delete;

private:
    void go(const QUrl& url);
    // To a host on this computer or its network: only from a feed there too.
    void goHere(const QUrl& url);
    // To `address` when given, else to the URL's own host.
    void request(const QUrl& url, const std::optional<QHostAddress>& address);
    void answered();
    // Before another request: the answered one goes.
    void dropReply();
    void receive();
    void stop();
    void finish();

    // The receiver of the reply's signals and the lookups' answers, which go with it.
    QObject context_;
    QNetworkAccessManager& network_;
    const QUrl feed_;
    HostLookup lookup_;
    QPointer<QNetworkReply> reply_;
    // The address asked, as the feed or a redirect wrote it.
    QUrl url_;
    // The judged addresses not yet tried.
    QList<QHostAddress> addresses_;
    int redirects_ = 0;
    // Bytes of the answers before the last.
    qint64 spent_ = 0;
    qint64 limit_;
    Sink sink_;
    Done done_;
    Result result_;
    bool stopped_ = false;
};

}  // namespace qm
