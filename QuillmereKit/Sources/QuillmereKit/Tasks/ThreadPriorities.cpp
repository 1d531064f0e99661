#include "QuillmereKit/Tasks/ThreadPriorities.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusVariant>
#include <algorithm>

#include <unistd.h>

#include "QuillmereCore/Log.h"

namespace qm {

namespace {

const QString service = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString path = QStringLiteral("/org/freedesktop/RealtimeKit1");
// The service answers at once when it answers at all; a thread must not wait long to start.
constexpr int replyTimeoutMillis = 1000;

int wantedNiceLevel(ThreadPriority priority) {
    return priority == ThreadPriority::userInteractive ? -15 : -10;
}

}  // namespace

ThreadPriorities::ThreadPriorities(QDBusConnection bus) : bus_(std::move(bus)) {}

ThreadPriorities& ThreadPriorities::system() {
    // Qt's bus connections need the application object.
    static ThreadPriorities instance(QCoreApplication::instance()
                                         ? QDBusConnection::systemBus()
                                         : QDBusConnection(QStringLiteral("no application")));
    return instance;
}

bool ThreadPriorities::apply(ThreadPriority priority) {
    if (priority == ThreadPriority::background) {
        return lowerCurrentThread();
    }
    if (!bus_.isConnected()) {
        reportUnavailable(QStringLiteral("no system bus"));
        return false;
    }
    int nice = wantedNiceLevel(priority);
    if (const std::optional<int> floor = minNiceLevel()) {
        nice = std::max(nice, *floor);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service,
                                                       QStringLiteral("MakeThreadHighPriority"));
    call << qulonglong(::gettid()) << nice;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, replyTimeoutMillis);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        reportUnavailable(reply.errorMessage());
        return false;
    }
    return true;
}

void ThreadPriorities::reportUnavailable(const QString& why) {
    // Desktops without the service are common; saying so once is enough.
    if (!reported_.exchange(true)) {
        Log::session().debug("thread priority unavailable: {}", why.toStdString());
    }
}

std::optional<int> ThreadPriorities::minNiceLevel() {
    std::call_once(minNiceAsked_, [this] {
        QDBusMessage get = QDBusMessage::createMethodCall(
            service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << service << QStringLiteral("MinNiceLevel");
        const QDBusMessage reply = bus_.call(get, QDBus::Block, replyTimeoutMillis);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            bool ok = false;
            const int level = reply.arguments().front().value<QDBusVariant>().variant().toInt(&ok);
            if (ok) {
                minNiceLevel_ = level;
            }
        }
    });
    return minNiceLevel_;
}

}  // namespace qm
