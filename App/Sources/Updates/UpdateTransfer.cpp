#include "Updates/UpdateTransfer.h"

#include <QHostInfo>
#include <QNetworkRequest>
#include <algorithm>
#include <utility>

#include "Updates/DistributionConfig.h"

namespace qm {

namespace {

// Qt's own buffer between reads; the sink gets every chunk at once, so this bounds memory.
constexpr qint64 readBufferSize = 256 * 1024;
// As browsers allow; a feed needs one or two.
constexpr int maxRedirects = 20;

std::optional<int> statusOf(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? std::optional(status.toInt()) : std::nullopt;
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Failures before any answer, after which another address of the host may still answer.
bool unreachable(QNetworkReply::NetworkError error) {
    return error == QNetworkReply::ConnectionRefusedError ||
           error == QNetworkReply::HostNotFoundError || error == QNetworkReply::TimeoutError ||
           error == QNetworkReply::TemporaryNetworkFailureError ||
           error == QNetworkReply::UnknownNetworkError;
}

void systemLookup(const QString& host, QObject* context, UpdateTransfer::Addresses answer) {
    QHostInfo::lookupHost(host, context, [answer = std::move(answer)](const QHostInfo& info) {
        answer(info.addresses());
    });
}

}  // namespace

UpdateTransfer::UpdateTransfer(QNetworkAccessManager& network, const QUrl& url, const QUrl& feed,
                               qint64 limit, Sink sink, Done done, HostLookup lookup)
    : network_(network),
      feed_(feed),
      lookup_(lookup ? std::move(lookup) : HostLookup(systemLookup)),
      limit_(limit),
      sink_(std::move(sink)),
      done_(std::move(done)) {
    go(url);
}

UpdateTransfer::~UpdateTransfer() {
    if (reply_) {
        reply_->disconnect(&context_);
        reply_->abort();
        reply_->deleteLater();
    }
}

void UpdateTransfer::go(const QUrl& url) {
    url_ = url;
    addresses_.clear();
    // Wherever the feed's own host resolves, the feed is there too.
    if (DistributionConfig::hostName(url) == DistributionConfig::hostName(feed_)) {
        request(url, std::nullopt);
    } else if (DistributionConfig::isLocalHost(url)) {
        goHere(url);
    } else if (!QHostAddress(url.host()).isNull()) {
        // An address cannot resolve elsewhere later.
        request(url, std::nullopt);
    } else {
        lookup_(url.host(), &context_, [this, url](const QList<QHostAddress>& addresses) {
            if (addresses.isEmpty()) {
                result_.error = QStringLiteral("Host %1 not found").arg(url.host());
                finish();
            } else if (std::ranges::any_of(addresses, DistributionConfig::isLocalAddress)) {
                goHere(url);
            } else {
                addresses_ = addresses;
                request(url, addresses_.takeFirst());
            }
        });
    }
}

void UpdateTransfer::goHere(const QUrl& url) {
    const auto answer = [this, url](bool feedIsLocal) {
        if (feedIsLocal) {
            request(url, std::nullopt);
        } else {
            result_.leadsHere = true;
            finish();
        }
    };
    if (DistributionConfig::isLocalHost(feed_)) {
        answer(true);
        return;
    }
    lookup_(feed_.host(), &context_, [answer](const QList<QHostAddress>& addresses) {
        answer(!addresses.isEmpty() &&
               std::ranges::all_of(addresses, DistributionConfig::isLocalAddress));
    });
}

void UpdateTransfer::request(const QUrl& url, const std::optional<QHostAddress>& address) {
    QNetworkRequest request(url);
    if (address) {
        // The name stays in the Host header and the certificate check. HTTP/2 would name the
        // address instead.
        QUrl authority = url;
        authority.setUserInfo({});
        request.setRawHeader("Host", authority.authority(QUrl::FullyEncoded).toUtf8());
        request.setPeerVerifyName(url.host());
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
        QUrl direct = url;
        direct.setHost(address->toString());
        request.setUrl(direct);
    }
    // Qt would follow a redirect to a name it resolves itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    result_.status.reset();
    // A redirect's body counts toward the limit, not toward what the last answer brought.
    spent_ += result_.received;
    result_.received = 0;
    reply_ = network_.get(request);
    reply_->setReadBufferSize(readBufferSize);
    QObject::connect(reply_, &QNetworkReply::readyRead, &context_, [this] { receive(); });
    QObject::connect(reply_, &QNetworkReply::finished, &context_, [this] { answered(); });
}

void UpdateTransfer::answered() {
    if (!result_.status) {
        result_.status = statusOf(*reply_);
    }
    const QNetworkReply::NetworkError error = reply_->error();
    const QByteArray location = reply_->rawHeader("Location");
    if (stopped_) {
        finish();
    } else if (!result_.status && unreachable(error) && !addresses_.isEmpty()) {
        dropReply();
        request(url_, addresses_.takeFirst());
    } else if (result_.status && isRedirect(*result_.status) && !location.isEmpty() &&
               redirects_ < maxRedirects) {
        // Relative to the address as written, not to the one it was sent to.
        const QString target =
            url_.resolved(QUrl::fromEncoded(location)).toString(QUrl::FullyEncoded);
        if (const auto allowed = DistributionConfig::linkURLFrom(target, feed_)) {
            ++redirects_;
            dropReply();
            go(*allowed);
            return;
        }
        result_.leadsHere = DistributionConfig::feedURLFrom(target).has_value();
        finish();
    } else {
        if (error != QNetworkReply::NoError) {
            result_.error = reply_->errorString();
        }
        finish();
    }
}

void UpdateTransfer::dropReply() {
    reply_->disconnect(&context_);
    reply_->deleteLater();
    reply_.clear();
}

void UpdateTransfer::receive() {
    if (stopped_) {
        return;
    }
    if (!result_.status) {
        result_.status = statusOf(*reply_);
    }
    // Another answer's body is dropped, not aborted: Qt fails such a reply itself once it ends,
    // and an abort before then would fail it twice.
    const QByteArray chunk = reply_->readAll();
    result_.received += chunk.size();
    if (spent_ + result_.received > limit_) {
        result_.overLimit = true;
        stop();
    } else if (result_.status == 200 && !sink_(chunk)) {
        result_.sinkFailed = true;
        stop();
    }
}

void UpdateTransfer::stop() {
    stopped_ = true;
    if (!result_.status) {
        result_.status = statusOf(*reply_);
    }
    reply_->abort();
}

void UpdateTransfer::finish() {
    // Queued, so that the owner may drop the transfer when told, and a transfer dropped before
    // then tells nothing.
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            const Result result = result_;
            std::exchange(done_, nullptr)(result);
        },
        Qt::QueuedConnection);
}

}  // namespace qm
