#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <optional>
#include <set>
#include <vector>

#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

#include "QuillmereKit/Session/ScreenSaverInhibition.h"
#include "Support/PrivateSessionBus.h"

namespace qm {
namespace {

using test::PrivateSessionBus;

const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString reason = QStringLiteral("Vantorel is streaming the phone screen");

// The desktop's side of idle inhibition, recording every call and each departure from what the
// real service accepts.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    struct Inhibition {
        QString application;
        QString reason;
        uint cookie = 0;
    };

    std::vector<Inhibition> inhibitions;
    std::vector<uint> released;
    std::vector<QString> violations;

public slots:
    uint Inhibit(const QString& application, const QString& why) {
        inhibitions.push_back({application, why, nextCookie_});
        held_.insert(nextCookie_);
        return nextCookie_++;
    }

    void UnInhibit(uint cookie) {
        released.push_back(cookie);
        if (held_.erase(cookie) == 0) {
            violations.push_back(QStringLiteral("UnInhibit of a cookie not held: %1").arg(cookie));
        }
    }

private:
    uint nextCookie_ = 7001;
    std::set<uint> held_;
};

class ScreenSaverInhibitionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.start());
        desktop_ = bus_.connect(QStringLiteral("desktop"));
        client_ = bus_.connect(QStringLiteral("client"));
        ASSERT_TRUE(desktop_.isConnected() && client_.isConnected());
        ASSERT_TRUE(desktop_.registerObject(path, &fake_, QDBusConnection::ExportAllSlots));
    }

    void TearDown() override {
        EXPECT_TRUE(fake_.violations.empty()) << fake_.violations.front().toStdString();
    }

    void offerService() { ASSERT_TRUE(desktop_.registerService(service)); }

    // Returns once the client has taken in every reply to its earlier calls: replies come back
    // in the order of the calls, and their handlers run in the order the replies came.
    void takeInReplies() {
        QDBusPendingCallWatcher marker(client_.asyncCall(
            QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Inhibit"))
            << QStringLiteral("marker") << QString()));
        bool done = false;
        QObject::connect(&marker, &QDBusPendingCallWatcher::finished, [&] { done = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }));
    }

    bool waitForReleases(std::size_t count) {
        return QTest::qWaitFor([&] { return fake_.released.size() >= count; });
    }

    PrivateSessionBus bus_;
    QDBusConnection desktop_{QString()};
    QDBusConnection client_{QString()};
    FakeScreenSaver fake_;
};

TEST_F(ScreenSaverInhibitionTest, InhibitsWithTheReasonAndReleasesTheCookieOnce) {
    offerService();
    ScreenSaverInhibition token(reason, client_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_.inhibitions.empty(); }));
    takeInReplies();
    EXPECT_EQ(fake_.inhibitions[0].application, "Vantorel");
    EXPECT_EQ(fake_.inhibitions[0].reason, reason);

    token.end();
    token.end();
    ASSERT_TRUE(waitForReleases(1));
    // Anything a second end() sent would have arrived before the next token's call.
    ScreenSaverInhibition later(reason, client_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_.inhibitions.size() == 3; }));
    EXPECT_EQ(fake_.released, std::vector<uint>{fake_.inhibitions[0].cookie});
}

TEST_F(ScreenSaverInhibitionTest, AnEndBeforeTheCookieReleasesItWhenItComes) {
    offerService();
    {
        ScreenSaverInhibition ended(reason, client_);
        ended.end();
        ScreenSaverInhibition dropped(reason, client_);
    }
    ASSERT_TRUE(waitForReleases(2));
    EXPECT_EQ(fake_.released.size(), 2u);
}

TEST_F(ScreenSaverInhibitionTest, WithoutTheServiceOrABusNothingIsHeld) {
    ScreenSaverInhibition unanswered(reason, client_);
    takeInReplies();
    offerService();
    unanswered.end();
    ScreenSaverInhibition later(reason, client_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_.inhibitions.size() == 1; }));
    EXPECT_TRUE(fake_.released.empty());

    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nobus"));
    EXPECT_NO_THROW({
        ScreenSaverInhibition token(reason, noBus);
        token.end();
    });
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}

}  // namespace
}  // namespace qm

#include "ScreenSaverInhibitionTests.moc"
