#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace qm::test {

// A session bus of the test's own: a dbus-daemon started for it and stopped with it, so that a
// test plays the desktop's services without touching the user's bus.
class PrivateSessionBus {
public:
    PrivateSessionBus() = default;
    ~PrivateSessionBus();

    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Starts the daemon and waits for its address.
    ::testing::AssertionResult start();
    // A connection to the bus under a name of this bus's own, closed with the bus.
    QDBusConnection connect(const QString& name);

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

}  // namespace qm::test
