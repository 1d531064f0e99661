#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

#include "Recorder/RecorderError.h"
#include "Recording/RecordingController.h"
#include "Support/FakeRecordingSession.h"
#include "Support/PrivateSessionBus.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::FakeRecordingSession;

// Runs what the tasks queued, and what that queued in turn.
void runPosted() {
    for (int hop = 0; hop < 4; ++hop) {
        QCoreApplication::sendPostedEvents();
    }
}

class RecordingControllerTest : public ::testing::Test {
protected:
    RecordingControllerTest() { makeController(FileReveal(QDBusConnection(QString()), {})); }

    void makeController(FileReveal reveal) {
        controller = std::make_unique<RecordingController>(
            movies.path().toStdString(), std::move(reveal), [this] { return now; });
    }

    // Starts a recording and answers its stop with `outcome`.
    fs::path recordAndStop(TaskOutcome<fs::path> outcome) {
        controller->start(session);
        const fs::path file = session.started.back();
        controller->stop(session);
        session.stops.back()(std::move(outcome));
        runPosted();
        return file;
    }

    QTemporaryDir movies;
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(7, 31, 24), Qt::UTC);
    FakeRecordingSession session;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(RecordingControllerTest, AStartFailureIsWordedByItsKindAndLeavesTheControllerIdle) {
    struct Case {
        std::exception_ptr error;
        QString text;
    };
    const Case cases[] = {
        {std::make_exception_ptr(RecordingError::notStreaming()), "The stream isn’t running."},
        {std::make_exception_ptr(RecordingError::alreadyRecording()),
         "A recording is already in progress."},
        {std::make_exception_ptr(
             fs::filesystem_error("create_directories", std::make_error_code(std::errc::io_error))),
         "Couldn’t start recording."},
        {std::make_exception_ptr(RecorderError::cannotStart("no codec")),
         "Couldn’t start recording."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        session.startError = c.error;
        controller->start(session);
        EXPECT_FALSE(controller->isRecording());
        EXPECT_FALSE(controller->isFinishing());
        EXPECT_EQ(controller->errorMessage(), c.text);
    }
}

TEST_F(RecordingControllerTest, AStartNamesTheFileByTheClockAndClearsTheLastOutcome) {
    const fs::path first = recordAndStop(fs::path("/movies/first.mp4"));
    EXPECT_EQ(first,
              fs::path(movies.path().toStdString()) / "Vantorel" /
                  ("Vantorel " +
                   now.toLocalTime().toString(u"yyyy-MM-dd 'at' HH.mm.ss").toStdString() + ".mp4"));
    EXPECT_EQ(controller->lastFileName(), "first.mp4");

    now = now.addSecs(90);
    controller->start(session);
    EXPECT_TRUE(controller->isRecording());
    EXPECT_EQ(controller->startedAt(), now);
    EXPECT_TRUE(controller->lastFile().isEmpty());
    EXPECT_TRUE(controller->errorMessage().isEmpty());
}

TEST_F(RecordingControllerTest, AStopShowsTheSavedFileOrWhyItFailed) {
    struct Case {
        std::string name;
        TaskOutcome<fs::path> outcome;
        QString lastFileName;
        QString error;
    };
    const Case cases[] = {
        {"saved", fs::path("/movies/take.mp4"), "take.mp4", ""},
        {"no video", std::make_exception_ptr(RecorderError::noVideo()), "",
         "Couldn’t save the recording: no video was captured."},
        {"write failed", std::make_exception_ptr(RecorderError::writeFailed("disk full")), "",
         "Couldn’t save the recording."},
        {"cancelled", Cancelled{}, "", "Couldn’t save the recording."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recordAndStop(c.outcome);
        EXPECT_FALSE(controller->isRecording());
        EXPECT_FALSE(controller->isFinishing());
        EXPECT_EQ(controller->lastFileName(), c.lastFileName);
        EXPECT_EQ(controller->errorMessage(), c.error);
    }
}

TEST_F(RecordingControllerTest, OnlyTheEndReportOfTheRunningFileCounts) {
    controller->start(session);
    const fs::path file = session.started.back();
    session.end({"/movies/older.mp4", nullptr});
    EXPECT_TRUE(controller->isRecording());
    EXPECT_TRUE(controller->lastFile().isEmpty());

    session.end({file, nullptr});
    EXPECT_FALSE(controller->isRecording());
    EXPECT_EQ(controller->lastFile(), QUrl::fromLocalFile(QString::fromStdString(file.string())));
    // A report of the same file again is not news.
    controller->dismissMessages();
    session.end({file, nullptr});
    EXPECT_TRUE(controller->lastFile().isEmpty());
}

TEST_F(RecordingControllerTest, AfterTheStreamEndsTheFileIsAwaitedUntilItsReport) {
    for (const bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "failed" : "saved");
        controller->start(session);
        const fs::path file = session.started.back();
        controller->streamEnded();
        EXPECT_FALSE(controller->isRecording());
        EXPECT_FALSE(controller->startedAt().isValid());
        EXPECT_TRUE(controller->isFinishing());
        const GuiTask<void> finished = controller->whenFinished();
        runPosted();
        EXPECT_FALSE(finished.isSettled());

        session.end({file, failed ? std::make_exception_ptr(RecorderError::noVideo()) : nullptr});
        EXPECT_FALSE(controller->isFinishing());
        EXPECT_TRUE(finished.isSettled());
        EXPECT_EQ(controller->lastFile().isEmpty(), failed);
        EXPECT_EQ(controller->errorMessage().isEmpty(), !failed);
    }
}

// The session was already finishing the file by itself when the user stopped: the stop finds no
// recorder, and the outcome comes with the end report.
TEST_F(RecordingControllerTest, AStopThatFindsTheSessionFinishingWaitsForItsReport) {
    controller->start(session);
    const fs::path file = session.started.back();
    controller->stop(session);
    session.stops.back()(std::make_exception_ptr(RecordingError::notRecording()));
    runPosted();
    EXPECT_TRUE(controller->errorMessage().isEmpty());
    EXPECT_TRUE(controller->isFinishing());
    const GuiTask<void> finished = controller->whenFinished();

    session.end({file, std::make_exception_ptr(RecorderError::writeFailed("format changed"))});
    EXPECT_EQ(controller->errorMessage(), "Couldn’t save the recording.");
    EXPECT_TRUE(finished.isSettled());

    // When the report came first, the stop's notRecording adds nothing.
    controller->start(session);
    controller->stop(session);
    session.end({session.started.back(), nullptr});
    session.stops.back()(std::make_exception_ptr(RecordingError::notRecording()));
    runPosted();
    EXPECT_EQ(controller->lastFileName().toStdString(), session.started.back().filename());
    EXPECT_TRUE(controller->errorMessage().isEmpty());
    EXPECT_FALSE(controller->isFinishing());
}

// The desktop's file manager, recording what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    std::vector<QStringList> shown;
    std::vector<QString> startupIds;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shown.push_back(uris);
        startupIds.push_back(startupId);
    }
};

class RevealTest : public RecordingControllerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.start());
        desktop = bus.connect(QStringLiteral("desktop"));
        ASSERT_TRUE(desktop.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                           &fileManager, QDBusConnection::ExportAllSlots));
        app = bus.connect(QStringLiteral("app"));
        makeController(FileReveal(app, [this](const QUrl& folder) { opened.push_back(folder); }));
    }

    test::PrivateSessionBus bus;
    QDBusConnection desktop{QString()};
    QDBusConnection app{QString()};
    FakeFileManager fileManager;
    std::vector<QUrl> opened;
};

TEST_F(RevealTest, TheFileManagerShowsTheSavedFile) {
    ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    controller->revealLastFile();  // nothing saved yet
    recordAndStop(fs::path("/movies/Vantorel/Vantorel 2026-12-06 at 07.31.24.mp4"));
    controller->revealLastFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shown.empty(); }));
    EXPECT_EQ(fileManager.shown,
              std::vector<QStringList>{
                  {"file:///movies/Vantorel/Vantorel%202026-12-06%20at%2007.31.24.mp4"}});
    EXPECT_EQ(fileManager.startupIds, std::vector<QString>{""});

    // Replies come in the order of the calls: once a later call's is in, the reveal's is too.
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusPendingCallWatcher later(
        app.asyncCall(QDBusMessage::createMethodCall(service, "/org/freedesktop/FileManager1",
                                                     service, "ShowItems")
                      << QStringList() << QString()));
    bool answered = false;
    QObject::connect(&later, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }));
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(controller->lastFile().isEmpty());
}

TEST_F(RevealTest, WithoutAFileManagerOrABusTheFolderOpens) {
    recordAndStop(fs::path("/movies/Vantorel/take.mp4"));
    controller->revealLastFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl("file:///movies/Vantorel")});

    FileReveal(QDBusConnection(QString()), [&](const QUrl& folder) {
        opened.push_back(folder);
    }).reveal("/movies/Vantorel/take.mp4");
    EXPECT_EQ(opened.size(), 2u);
}

}  // namespace
}  // namespace qm

#include "RecordingControllerTests.moc"
