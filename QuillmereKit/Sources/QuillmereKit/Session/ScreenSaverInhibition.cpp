#include "QuillmereKit/Session/ScreenSaverInhibition.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <atomic>
#include <optional>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");

// Desktops without the service are common; saying so once is enough.
void reportUnavailable(const QString& why) {
    static std::atomic<bool> reported = false;
    if (!reported.exchange(true)) {
        Log::session().debug("idle inhibition unavailable: {}", why.toStdString());
    }
}

}  // namespace

struct ScreenSaverInhibition::Cookie {
    QDBusConnection connection;
    std::optional<uint> value;
    bool ended = false;

    void release() {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, service, "UnInhibit");
        message << *value;
        value.reset();
        // No reply is awaited: there is nothing to do if it fails.
        connection.send(message);
    }
};

ScreenSaverInhibition::ScreenSaverInhibition(const QString& reason, QDBusConnection connection) {
    if (!connection.isConnected()) {
        reportUnavailable(QStringLiteral("no session bus: ") + connection.lastError().message());
        return;
    }
    if (QCoreApplication::instance() == nullptr) {
        reportUnavailable(QStringLiteral("no event loop to receive the reply"));
        return;
    }
    cookie_ = std::make_shared<Cookie>(Cookie{connection, std::nullopt, false});

    QDBusMessage message = QDBusMessage::createMethodCall(service, path, service, "Inhibit");
    message << QString::fromLatin1(application) << reason;
    // Owned by the application until the reply comes, so the cookie of a token already gone is
    // still released.
    auto* watcher =
        new QDBusPendingCallWatcher(connection.asyncCall(message), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [cookie = cookie_](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         const QDBusPendingReply<uint> reply = *call;
                         if (reply.isError()) {
                             reportUnavailable(reply.error().message());
                             return;
                         }
                         cookie->value = reply.value();
                         if (cookie->ended) {
                             cookie->release();
                         }
                     });
}

ScreenSaverInhibition::~ScreenSaverInhibition() {
    end();
}

void ScreenSaverInhibition::end() {
    if (!cookie_ || cookie_->ended) {
        return;
    }
    cookie_->ended = true;
    if (cookie_->value) {
        cookie_->release();
    }
}

}  // namespace qm
