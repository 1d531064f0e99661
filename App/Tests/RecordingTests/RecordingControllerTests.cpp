#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QtCore/qtestsupport_core.h>
#include <sys/stat.h>

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

    // Starts a recording and answers its stop with the file.
    void recordAndStop(const fs::path& file) {
        controller->start(session);
        controller->stop(session);
        session.stops.back()(file);
        runPosted();
    }

    QTemporaryDir movies;
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(7, 31, 24), Qt::UTC);
    FakeRecordingSession session;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(RecordingControllerTest, AStartFailureIsWordedByItsKind) {
    const std::pair<std::exception_ptr, QString> cases[] = {
        {std::make_exception_ptr(RecordingError::notStreaming()), "The stream isn’t running."},
        {std::make_exception_ptr(RecordingError::alreadyRecording()),
         "A recording is already in progress."},
        {std::make_exception_ptr(
             fs::filesystem_error("mkdir", std::make_error_code(std::errc::io_error))),
         "Couldn’t start recording."},
        {std::make_exception_ptr(RecorderError::cannotStart("no codec")),
         "Couldn’t start recording."},
    };
    for (const auto& [error, text] : cases) {
        session.startError = error;
        controller->start(session);
        EXPECT_FALSE(controller->isRecording());
        EXPECT_EQ(controller->errorMessage(), text);
    }
}

TEST_F(RecordingControllerTest, AStopShowsTheSavedFileOrWhyItFailedUntilTheNextStart) {
    const struct {
        TaskOutcome<fs::path> outcome;
        QString lastFileName;
        QString error;
    } cases[] = {
        {fs::path("/movies/take.mp4"), "take.mp4", ""},
        {std::make_exception_ptr(RecorderError::noVideo()), "",
         "Couldn’t save the recording: no video was captured."},
        {std::make_exception_ptr(RecorderError::writeFailed("disk full")), "",
         "Couldn’t save the recording."},
        {Cancelled{}, "", "Couldn’t save the recording."},
    };
    for (const auto& c : cases) {
        controller->start(session);
        EXPECT_TRUE(controller->isRecording());
        EXPECT_EQ(controller->startedAt(), now);
        EXPECT_TRUE(controller->lastFile().isEmpty() && controller->errorMessage().isEmpty());
        controller->stop(session);
        session.stops.back()(c.outcome);
        runPosted();
        EXPECT_FALSE(controller->isRecording() || controller->isFinishing());
        EXPECT_EQ(controller->lastFileName(), c.lastFileName);
        EXPECT_EQ(controller->errorMessage(), c.error);
    }
    EXPECT_EQ(session.started.front(),
              fs::path(movies.path().toStdString()) / "Vantorel" /
                  ("Vantorel " +
                   now.toLocalTime().toString(u"yyyy-MM-dd 'at' HH.mm.ss").toStdString() + ".mp4"));
}

// Whatever holds a recording's name takes it, and the next free number is used.
TEST_F(RecordingControllerTest, ANameTakenByAnythingGoesToTheNextNumber) {
    const fs::path folder = fs::path(movies.path().toStdString()) / "Vantorel";
    const std::string base =
        "Vantorel " + now.toLocalTime().toString(u"yyyy-MM-dd 'at' HH.mm.ss").toStdString();
    fs::create_directories(folder);
    const std::pair<std::function<void(const fs::path&)>, const char*> takers[] = {
        {[](const fs::path& name) { fs::create_symlink("gone.mp4", name); }, "a dangling link"},
        {[](const fs::path& name) { fs::create_directory(name); }, "a folder"},
        {[](const fs::path& name) { ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0); }, "a FIFO"},
    };
    std::string expected = base + ".mp4";
    for (int number = 2; const auto& [take, what] : takers) {
        SCOPED_TRACE(what);
        take(folder / expected);
        expected = base + " (" + std::to_string(number++) + ").mp4";
        recordAndStop("/movies/take.mp4");
        EXPECT_EQ(session.started.back(), folder / expected);
    }
}

// The file stays awaited after the stream ended, and after a stop that found the session
// already finishing it by itself: its end report gives the outcome, and the quit guard waits.
TEST_F(RecordingControllerTest, TheEndReportOfTheAwaitedFileGivesTheOutcome) {
    controller->start(session);
    session.end({"/movies/older.mp4", nullptr});
    EXPECT_TRUE(controller->isRecording());
    controller->phaseChanged(false);
    EXPECT_FALSE(controller->isRecording() || controller->startedAt().isValid());
    EXPECT_TRUE(controller->isFinishing());
    GuiTask<void> finished = controller->whenFinished();
    session.end({session.started.back(), std::make_exception_ptr(RecorderError::noVideo())});
    EXPECT_EQ(controller->errorMessage(), "Couldn’t save the recording: no video was captured.");
    EXPECT_TRUE(finished.isSettled());

    controller->start(session);
    controller->stop(session);
    session.stops.back()(std::make_exception_ptr(RecordingError::notRecording()));
    runPosted();
    EXPECT_TRUE(controller->errorMessage().isEmpty());
    finished = controller->whenFinished();
    EXPECT_FALSE(finished.isSettled());
    session.end({session.started.back(), nullptr});
    EXPECT_EQ(controller->lastFileName().toStdString(), session.started.back().filename());
    EXPECT_TRUE(finished.isSettled());
}

// The desktop's file manager, recording what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    std::vector<std::pair<QStringList, QString>> shown;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        shown.emplace_back(uris, startupId);
    }
};

TEST_F(RecordingControllerTest, ShowInFolderSelectsTheFileOrOpensItsFolder) {
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start());
    QDBusConnection desktop = bus.connect(QStringLiteral("desktop"));
    FakeFileManager fileManager;
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    const QString path = QStringLiteral("/org/freedesktop/FileManager1");
    ASSERT_TRUE(desktop.registerObject(path, &fileManager, QDBusConnection::ExportAllSlots));
    QDBusConnection app = bus.connect(QStringLiteral("app"));
    std::vector<QUrl> opened;
    makeController(FileReveal(app, [&](const QUrl& folder) {
        opened.push_back(folder);
        return true;
    }));
    controller->revealLastFile();  // nothing saved yet
    recordAndStop("/movies/Vantorel/Vantorel 2026-12-06 at 07.31.24.mp4");

    controller->revealLastFile();  // no file manager on the bus
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl("file:///movies/Vantorel")});

    ASSERT_TRUE(desktop.registerService(service));
    controller->revealLastFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileManager.shown.empty(); }));
    EXPECT_EQ(fileManager.shown.front().first,
              QStringList{"file:///movies/Vantorel/Vantorel%202026-12-06%20at%2007.31.24.mp4"});
    EXPECT_EQ(fileManager.shown.front().second, "");
    // Replies come in the order of the calls: once a later call's is in, the reveal's is too.
    QDBusPendingCallWatcher later(
        app.asyncCall(QDBusMessage::createMethodCall(service, path, service, "ShowItems")
                      << QStringList() << QString()));
    bool answered = false;
    QObject::connect(&later, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }));
    EXPECT_EQ(opened.size(), 1u);

    EXPECT_EQ(controller->errorMessage(), "");

    // Nothing opens the folder either: the window says where the file is.
    makeController(FileReveal(QDBusConnection(QString()), [&](const QUrl& folder) {
        opened.push_back(folder);
        return false;
    }));
    recordAndStop("/movies/take.mp4");
    controller->revealLastFile();
    EXPECT_EQ(opened.back(), QUrl("file:///movies"));
    EXPECT_EQ(controller->errorMessage(),
              "No file manager could show the recording. It is in /movies.");
    // A mark in a folder's name turns neither the sentence nor the rest of the path around.
    recordAndStop("/movies/\u202Eseivom/\u05E9\u05DC\u05D5\u05DD/take.mp4");
    controller->revealLastFile();
    EXPECT_EQ(controller->errorMessage(),
              "No file manager could show the recording. It is in "
              "\u2068/movies/\\u202Eseivom/\u05E9\u05DC\u05D5\u05DD\u2069.");
}

}  // namespace
}  // namespace qm

#include "RecordingControllerTests.moc"
