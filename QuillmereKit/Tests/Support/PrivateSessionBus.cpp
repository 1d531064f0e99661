#include "Support/PrivateSessionBus.h"

namespace qm::test {

PrivateSessionBus::~PrivateSessionBus() {
    for (const QString& name : std::as_const(names_)) {
        QDBusConnection::disconnectFromBus(name);
    }
    daemon_.kill();
    daemon_.waitForFinished();
}

::testing::AssertionResult PrivateSessionBus::start() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address")});
    if (!daemon_.waitForStarted()) {
        return ::testing::AssertionFailure() << "dbus-daemon did not start";
    }
    while (!daemon_.canReadLine()) {
        if (!daemon_.waitForReadyRead(10000)) {
            return ::testing::AssertionFailure() << "dbus-daemon printed no address";
        }
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    return ::testing::AssertionSuccess();
}

QDBusConnection PrivateSessionBus::connect(const QString& name) {
    names_.append(name);
    return QDBusConnection::connectToBus(address_, name);
}

}  // namespace qm::test
