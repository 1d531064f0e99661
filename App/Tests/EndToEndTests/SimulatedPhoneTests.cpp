// The simulated phone as a person runs it from a terminal, outside any app.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PrivateDisplay.h"
#include "ViewTesting.h"

namespace qm {
namespace {

// The simulated phone as a person starts it, from its terminal: twice in a home of its own, which
// it makes the user's alone and where the phone keeps the computer allowed at the first start,
// once more there while it runs, which ends at once, and a logout's SIGTERM and SIGHUP quit it
// once; Ctrl+C twice ends it at once; then in a home others can enter, which it refuses.
TEST(SimulatedPhoneTest, KeepsItsHomePrivateAndTheComputerItAllowed) {
    test::PrivateDisplay display;
    ASSERT_TRUE(display.start({1280, 800}));
    QTemporaryDir data;
    const auto start = [&](QProcess& phone, const QString& dataHome) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dataHome);
        environment.insert("QM_LOG_LEVEL", "info");
        // Qt leaves allocations of its own at this process's exit, whose short stacks the leak
        // check cannot tell from ours; the app's quit is checked for leaks in the quit journeys.
        if (environment.contains("ASAN_OPTIONS")) {
            environment.insert("ASAN_OPTIONS",
                               environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
        }
        phone.setProcessEnvironment(environment);
        phone.setProcessChannelMode(QProcess::MergedChannels);
        phone.start(QM_SIMULATED_PHONE, QStringList());
    };
    // What the phone printed so far, read until it prints `count` lines holding `text`.
    const auto printed = [](QProcess& phone, QByteArray& seen, const char* text,
                            qsizetype count = 1) {
        while (seen.count(text) < count && phone.waitForReadyRead(test::waitBound * 4)) {
            seen += phone.readAll();
        }
        return seen.count(text) >= count;
    };
    QProcess first;
    QByteArray seen;
    start(first, data.path());
    ASSERT_TRUE(printed(first, seen, "waiting for the user to allow USB debugging"))
        << seen.toStdString();
    // Until the phone has the key it shows no prompt to press on.
    while (!seen.contains("this computer is allowed")) {
        const qsizetype answers = seen.count("simulated phone: ");
        first.write("a");
        ASSERT_TRUE(printed(first, seen, "simulated phone: ", answers + 1)) << seen.toStdString();
    }
    ASSERT_TRUE(printed(first, seen, "connected: device")) << seen.toStdString();
    first.kill();
    first.waitForFinished();
    EXPECT_EQ(std::filesystem::status(data.filePath("vantorel-simulated-phone").toStdString())
                  .permissions(),
              std::filesystem::perms::owner_all);

    QProcess again;
    QByteArray seenAgain;
    start(again, data.path());
    ASSERT_TRUE(printed(again, seenAgain, "connected: device")) << seenAgain.toStdString();
    EXPECT_FALSE(seenAgain.contains("waiting for the user")) << seenAgain.toStdString();
    QProcess twice;
    start(twice, data.path());
    ASSERT_TRUE(twice.waitForFinished(test::waitBound * 4));
    EXPECT_EQ(twice.exitCode(), 0);
    EXPECT_TRUE(twice.readAll().contains("Vantorel is already running"));
    // A logout's pair is one request to quit.
    ASSERT_EQ(::kill(pid_t(again.processId()), SIGTERM), 0);
    ASSERT_EQ(::kill(pid_t(again.processId()), SIGHUP), 0);
    ASSERT_TRUE(again.waitForFinished(test::waitBound * 4));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0);

    // Ctrl+C twice, the second before the quit is done: one to the process and one to its main
    // thread while it is stopped, which the kernel keeps apart.
    QProcess interrupted;
    QByteArray seenInterrupted;
    start(interrupted, data.path());
    ASSERT_TRUE(printed(interrupted, seenInterrupted, "connected: device"))
        << seenInterrupted.toStdString();
    const auto pid = pid_t(interrupted.processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    ASSERT_EQ(::tgkill(pid, pid, SIGINT), 0);
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    ASSERT_TRUE(interrupted.waitForFinished(test::waitBound * 4));
    EXPECT_EQ(interrupted.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(interrupted.exitCode(), SIGINT);

    QTemporaryDir shared;
    ASSERT_TRUE(QDir().mkdir(shared.filePath("vantorel-simulated-phone")));
    ASSERT_EQ(::chmod(QFile::encodeName(shared.filePath("vantorel-simulated-phone")), 0755), 0);
    QProcess refused;
    start(refused, shared.path());
    ASSERT_TRUE(refused.waitForFinished(test::waitBound * 4));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAll().contains("is not a folder of this user's own with mode 0700"));
}

}  // namespace
}  // namespace qm
