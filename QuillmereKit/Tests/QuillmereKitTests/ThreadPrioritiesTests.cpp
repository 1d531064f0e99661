#include <QDBusContext>
#include <QDBusMessage>
#include <algorithm>
#include <future>
#include <utility>
#include <vector>

#include <QtCore/qtestsupport_core.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/ThreadPriority.h"
#include "QuillmereKit/Tasks/ThreadPriorities.h"
#include "Support/LogSince.h"
#include "Support/PrivateSessionBus.h"

namespace qm {
namespace {

using test::PrivateSessionBus;

const QString service = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString path = QStringLiteral("/org/freedesktop/RealtimeKit1");

// The system's RealtimeKit: grants nice levels down to its floor to threads of the caller, or
// refuses as a policy would.
class FakeRealtimeKit : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")
    Q_PROPERTY(int MinNiceLevel READ minNiceLevel)

public:
    struct Request {
        qulonglong thread = 0;
        int nice = 0;
        bool operator==(const Request&) const = default;
    };

    int minNiceLevel() const { return -11; }

    std::vector<Request> requests;
    std::vector<QString> violations;
    bool refuse = false;

public slots:
    void MakeThreadHighPriority(qulonglong thread, int priority) {
        requests.push_back({thread, priority});
        if (priority < minNiceLevel()) {
            violations.push_back(QStringLiteral("nice level below the floor: %1").arg(priority));
        }
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Operation not permitted"));
        }
    }
};

struct Applied {
    bool granted = false;
    pid_t thread = 0;
    int nice = 0;  // the thread's own, after the call
};

class ThreadPrioritiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.start());
        system_ = bus_.connect(QStringLiteral("system"));
        client_ = bus_.connect(QStringLiteral("client"));
        ASSERT_TRUE(system_.isConnected() && client_.isConnected());
        ASSERT_TRUE(system_.registerObject(
            path, &fake_, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    }

    void TearDown() override {
        EXPECT_TRUE(fake_.violations.empty()) << fake_.violations.front().toStdString();
    }

    // On a thread of its own, as a stream's threads ask; the service answers on this one.
    static Applied apply(ThreadPriorities& priorities, ThreadPriority priority) {
        auto applied = std::async(std::launch::async, [&] {
            const bool granted = priorities.apply(priority);
            return Applied{granted, ::gettid(), ::getpriority(PRIO_PROCESS, id_t(::gettid()))};
        });
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return applied.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        }));
        return applied.get();
    }

    // The level the suite runs at, which a thread keeps when nothing changes it.
    const int startNice_ = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    // The lines are at debug level.
    test::DebugLevel debugLines_{Log::session()};
    test::LogSince log_;
    PrivateSessionBus bus_;
    QDBusConnection system_{QString()};
    QDBusConnection client_{QString()};
    FakeRealtimeKit fake_;
};

TEST_F(ThreadPrioritiesTest, TheAskingThreadIsRaisedWithinTheServicesFloorOrLowered) {
    ASSERT_TRUE(system_.registerService(service));
    ThreadPriorities priorities(client_);
    const std::pair<ThreadPriority, int> cases[] = {
        {ThreadPriority::userInteractive, -11},  // -15 wanted, the floor granted
        {ThreadPriority::high, -10},
    };
    for (const auto& [priority, nice] : cases) {
        const Applied applied = apply(priorities, priority);
        EXPECT_TRUE(applied.granted) << nice;
        ASSERT_FALSE(fake_.requests.empty());
        EXPECT_EQ(fake_.requests.back(),
                  (FakeRealtimeKit::Request{qulonglong(applied.thread), nice}));
    }
    const Applied lowered = apply(priorities, ThreadPriority::background);
    EXPECT_TRUE(lowered.granted);
    EXPECT_EQ(lowered.nice, std::max(10, startNice_));
    EXPECT_EQ(fake_.requests.size(), 2u);

    // A thread nicer than the background level, as under nice(1), is never raised to it.
    const int nicer = std::max(15, startNice_);
    auto niced = std::async(std::launch::async, [&] {
        ::setpriority(PRIO_PROCESS, id_t(::gettid()), nicer);
        return std::pair(lowerCurrentThread(), ::getpriority(PRIO_PROCESS, id_t(::gettid())));
    });
    EXPECT_EQ(niced.get(), std::pair(true, nicer));
}

TEST_F(ThreadPrioritiesTest, ARefusalNoServiceOrNoBusLeaveTheThreadAsItWasWithOneDebugLine) {
    ThreadPriorities noService(client_);
    EXPECT_FALSE(apply(noService, ThreadPriority::userInteractive).granted);

    ASSERT_TRUE(system_.registerService(service));
    fake_.refuse = true;
    ThreadPriorities refused(client_);
    for (const ThreadPriority priority : {ThreadPriority::userInteractive, ThreadPriority::high}) {
        const Applied applied = apply(refused, priority);
        EXPECT_FALSE(applied.granted);
        EXPECT_EQ(applied.nice, startNice_);
    }

    ThreadPriorities noBus(QDBusConnection(QStringLiteral("no such bus")));
    EXPECT_FALSE(apply(noBus, ThreadPriority::high).granted);
    EXPECT_TRUE(apply(noBus, ThreadPriority::background).granted);  // needs nobody's leave
    EXPECT_EQ(log_.count("thread priority unavailable: "), 3u);     // one for each of the three
}

}  // namespace
}  // namespace qm

#include "ThreadPrioritiesTests.moc"
