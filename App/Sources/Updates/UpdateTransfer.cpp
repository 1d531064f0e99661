#include "Updates/UpdateTransfer.h"

#include <QNetworkRequest>
#include <utility>

#include "Updates/DistributionConfig.h"

namespace qm {

namespace {

// Qt's own buffer between reads; the sink gets every chunk at once, so this bounds memory.
constexpr qint64 readBufferSize = 256 * 1024;

std::optional<int> statusOf(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? std::optional(status.toInt()) : std::nullopt;
}

}  // namespace

UpdateTransfer::UpdateTransfer(QNetworkAccessManager& network, const QUrl& url, const QUrl& feed,
                               qint64 limit, Sink sink, Done done)
    : limit_(limit), sink_(std::move(sink)), done_(std::move(done)) {
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    reply_ = network.get(request);
    reply_->setReadBufferSize(readBufferSize);
    QNetworkReply* reply = reply_;
    QObject::connect(
        reply, &QNetworkReply::redirected, &context_, [this, feed](const QUrl& target) {
            if (DistributionConfig::linkURLFrom(target.toString(QUrl::FullyEncoded), feed)) {
                emit reply_->redirectAllowed();
            } else {
                stop();
            }
        });
    QObject::connect(reply, &QNetworkReply::readyRead, &context_, [this] { receive(); });
    QObject::connect(reply, &QNetworkReply::finished, &context_, [this] {
        if (!result_.status) {
            result_.status = statusOf(*reply_);
        }
        if (!stopped_ && reply_->error() != QNetworkReply::NoError) {
            result_.error = reply_->errorString();
        }
        // Queued, so that the owner may drop the transfer when told, and a transfer dropped
        // before then tells nothing.
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                const Result result = result_;
                std::exchange(done_, nullptr)(result);
            },
            Qt::QueuedConnection);
    });
}

UpdateTransfer::~UpdateTransfer() {
    if (reply_) {
        reply_->disconnect(&context_);
        reply_->abort();
        reply_->deleteLater();
    }
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
    if (result_.received > limit_) {
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

}  // namespace qm
