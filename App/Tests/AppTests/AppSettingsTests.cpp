#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "QuillmereCore/FileDescriptor.h"
#include "Storage/AppSettings.h"
#include "TemporaryHome.h"

namespace qm {
namespace {

// A store over an INI file of the test's own, written as a user would edit it. A new file each
// time: Qt caches what it read from a path and may miss a rewrite of the same size.
class AppSettingsTest : public ::testing::Test {
protected:
    std::unique_ptr<QSettings> store(const QByteArray& lines = {}) {
        path = folder.filePath(QString("Vantorel%1.ini").arg(++files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + lines);
        file.close();
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    // The written file as another program run reads it: as text.
    std::unique_ptr<QSettings> reopened() {
        const QString copy = folder.filePath(QString("Vantorel%1.ini").arg(++files));
        EXPECT_TRUE(QFile::copy(path, copy));
        return std::make_unique<QSettings>(copy, QSettings::IniFormat);
    }

    QTemporaryDir folder;
    int files = 0;
    QString path;
};

// Every stored property in declaration order, as text.
QStringList readings(const AppSettings& settings) {
    QStringList values;
    for (const char* name :
         {"hudStyle", "lastPackage", "developerMode", "emulatorWarningShown", "autoFullScreen",
          "keepDisplayAwake", "rawMouseInput", "hevcStream", "gpuUpscaling", "sharpness",
          "streamFrameRate", "streamResolution", "lowLatencyEncoder"}) {
        values.append(settings.property(name).toString());
    }
    return values;
}

TEST_F(AppSettingsTest, AnEmptyStoreGivesTheDefaults) {
    const auto defaults = store();
    const AppSettings settings(*defaults);
    EXPECT_EQ(readings(settings), (QStringList{"full", "", "false", "false", "true", "true", "true",
                                               "false", "false", "0.3", "sixty", "fast", "true"}));
    EXPECT_EQ(settings.inputMode("com.game"), InputMode::keyboardMouse);
}

TEST_F(AppSettingsTest, ReadsHandEditedValuesByTheirRules) {
    const auto property = [](const char* name) {
        return [name](const AppSettings& s) { return s.property(name).toString(); };
    };
    const auto inputMode = [](const AppSettings& s) {
        return QString::number(rawValue(s.inputMode("com.game")));
    };
    struct Case {
        QByteArray ini;
        std::function<QString(const AppSettings&)> read;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"hudEnabled=false", property("hudStyle"), "hidden"},
        {"hudEnabled=0", property("hudStyle"), "hidden"},
        {"hudEnabled=true", property("hudStyle"), "full"},
        {"hudEnabled=FALSE", property("hudStyle"), "full"},
        {"hudEnabled=no", property("hudStyle"), "full"},
        {"hudStyle=compact\nhudEnabled=false", property("hudStyle"), "compact"},
        {"hudStyle=Compact\nhudEnabled=false", property("hudStyle"), "hidden"},
        {"hudStyle=AppSettings::compact", property("hudStyle"), "full"},
        {"sharpness=0.9", property("sharpness"), "0.5"},
        {"sharpness=-1", property("sharpness"), "0"},
        {"sharpness=0.25", property("sharpness"), "0.25"},
        {"sharpness=nan", property("sharpness"), "0"},
        {"sharpness=1e999", property("sharpness"), "0"},
        {"sharpness=inf", property("sharpness"), "0"},
        {"sharpness=0.2x", property("sharpness"), "0"},
        {"streamFrameRate=120", property("streamFrameRate"), "sixty"},
        {"streamFrameRate=matchDisplay", property("streamFrameRate"), "matchDisplay"},
        {"streamResolution=SHARP", property("streamResolution"), "fast"},
        {"streamResolution=balanced", property("streamResolution"), "balanced"},
        {"developerMode=YES", property("developerMode"), "true"},
        {"developerMode=True", property("developerMode"), "true"},
        {"developerMode=2", property("developerMode"), "true"},
        {"developerMode=-1", property("developerMode"), "true"},
        {"developerMode=0", property("developerMode"), "false"},
        {"developerMode=1.5", property("developerMode"), "false"},
        {"developerMode=maybe", property("developerMode"), "false"},
        // Present, so the store's reading and not the default.
        {"autoFullScreen=maybe", property("autoFullScreen"), "false"},
        {"lowLatencyEncoder=", property("lowLatencyEncoder"), "false"},
        {"lastPackage=com.game", property("lastPackage"), "com.game"},
        {"captureNoticeCount=2", property("captureNoticeCount"), "2"},
        {"captureNoticeCount=-3", property("captureNoticeCount"), "0"},
        {"inputMode.com.game=4", inputMode, "4"},
        {"inputMode.com.game=3", inputMode, "3"},
        {"inputMode.com.game=0", inputMode, "3"},
        {"inputMode.com.game=1", inputMode, "3"},
        {"inputMode.com.game=2", inputMode, "3"},
        {"inputMode.com.game=5", inputMode, "3"},
        {"inputMode.com.game=4.0", inputMode, "3"},
        {"inputMode.com.game=keymap", inputMode, "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        const auto defaults = store(c.ini);
        EXPECT_EQ(c.read(AppSettings(*defaults)), c.expected);
    }
}

TEST_F(AppSettingsTest, GarbageInEveryKeyNeverBreaksReading) {
    const std::vector<QByteArray> garbage = {"@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5QPoint)",
                                             "@ByteArray(\\xff\\xfe)",
                                             "1, 2, 3",
                                             "\"unterminated",
                                             "@Invalid()",
                                             "\\x1\\x2",
                                             "99999999999999999999999",
                                             ""};
    for (const QByteArray& value : garbage) {
        SCOPED_TRACE(value.toStdString());
        QByteArray ini;
        for (const char* key :
             {"hudStyle", "hudEnabled", "lastPackage", "developerMode", "emulatorWarningShown",
              "captureNoticeCount", "autoFullScreen", "keepDisplayAwake", "rawMouseInput",
              "hevcStream", "metalFXUpscaling", "sharpness", "streamFrameRate", "streamResolution",
              "lowLatencyEncoder", "inputMode.com.game"}) {
            ini += QByteArray(key) + "=" + value + "\n";
        }
        const auto defaults = store(ini);
        const AppSettings settings(*defaults);
        EXPECT_EQ(settings.hudStyle(), HUDStyle::full);
        EXPECT_TRUE(settings.sharpness() >= 0 && settings.sharpness() <= 0.5);
        EXPECT_EQ(settings.streamFrameRate(), StreamFrameRateOption::sixty);
        EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::fast);
        EXPECT_EQ(settings.inputMode("com.game"), InputMode::keyboardMouse);
    }
}

TEST_F(AppSettingsTest, WritesThroughAndNotifiesOnlyRealChanges) {
    const auto defaults = store();
    AppSettings settings(*defaults);
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int i = 0; i < settings.metaObject()->propertyCount(); ++i) {
        const QMetaProperty property = settings.metaObject()->property(i);
        if (property.hasNotifySignal()) {
            spies.push_back(std::make_unique<QSignalSpy>(&settings, property.notifySignal()));
        }
    }
    const auto notifications = [&] {
        qsizetype count = 0;
        for (const auto& spy : spies) {
            count += spy->count();
        }
        return count;
    };
    // Equal values are still written, without a notification.
    settings.setAutoFullScreen(true);
    settings.setHudStyle(HUDStyle::full);
    EXPECT_EQ(notifications(), 0);
    EXPECT_EQ(defaults->value("autoFullScreen").toString(), "true");
    EXPECT_EQ(defaults->value("hudStyle").toString(), "full");

    settings.setHudStyle(HUDStyle::compact);
    settings.setLastPackage("com.game");
    settings.setDeveloperMode(true);
    settings.setKeepDisplayAwake(false);
    settings.setGpuUpscaling(true);
    settings.setSharpness(0.9);
    settings.setStreamFrameRate(StreamFrameRateOption::phoneMaximum);
    settings.setStreamResolution(StreamResolutionOption::balanced);
    settings.setInputMode(InputMode::keymap, "com.game");
    EXPECT_GT(notifications(), 0);
    EXPECT_EQ(settings.upscale().sharpness, 0.9);
    defaults->sync();

    // Read back from the file: what Qt wrote is what the readings take.
    const auto stored = reopened();
    const AppSettings again(*stored);
    EXPECT_EQ(readings(again),
              (QStringList{"compact", "com.game", "true", "false", "true", "false", "true", "false",
                           "true", "0.5", "phoneMaximum", "balanced", "true"}));
    EXPECT_EQ(again.inputMode("com.game"), InputMode::keymap);

    settings.setLastPackage({});
    settings.setSharpness(1.7);
    EXPECT_FALSE(defaults->contains("lastPackage"));
    EXPECT_EQ(settings.upscale().sharpness, 1);
}

TEST_F(AppSettingsTest, AStoreThatCannotBeWrittenIsSaidOnceWithItsFile) {
    // A folder where a file stands cannot hold the store, even for root.
    QFile blocker(folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& file :
         {folder.filePath("fine/Vantorel.ini"), folder.filePath("blocked/Vantorel.ini")}) {
        QSettings defaults(file, QSettings::IniFormat);
        AppSettings settings(defaults);
        QSignalSpy said(&settings, &AppSettings::saveProblemChanged);
        settings.setHudStyle(HUDStyle::compact);
        settings.setDeveloperMode(true);
        // The store is checked once the event loop has its turn.
        QCoreApplication::sendPostedEvents(&settings, QEvent::MetaCall);
        const bool blocked = file.contains("blocked");
        EXPECT_EQ(settings.saveProblem().contains(file), blocked) << file.toStdString();
        settings.setHudStyle(HUDStyle::full);
        QCoreApplication::sendPostedEvents(&settings, QEvent::MetaCall);
        EXPECT_EQ(said.count(), blocked ? 1 : 0) << "once";
        EXPECT_EQ(settings.hudStyle(), HUDStyle::full) << "the app keeps working";
    }
}

TEST_F(AppSettingsTest, AFileQtCannotParseIsLeftByteForByteAndChangesLastUntilQuit) {
    const QByteArray lines = "hudStyle=compact\n[unclosed\nx=1\n";
    // No temporary folder: the scratch copy goes to the runtime folder, not the working one.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray temporary = qgetenv("TMPDIR");
    ASSERT_TRUE(QDir().mkdir(folder.filePath("runtime"),
                             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.filePath("runtime")));
    qputenv("TMPDIR", QFile::encodeName(folder.filePath("missing")));
    {
        const auto defaults = store(lines);
        AppSettings settings(*defaults);
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", temporary);
        EXPECT_TRUE(QDir(QFileInfo(settings.defaults().fileName()).path())
                        .canonicalPath()
                        .startsWith(folder.filePath("runtime/")));
        EXPECT_TRUE(settings.saveProblem().contains(path));
        EXPECT_EQ(settings.hudStyle(), HUDStyle::compact) << "what could be read is used";
        settings.setDeveloperMode(true);
        settings.setInputMode(InputMode::keymap, "com.game");
        settings.defaults().setValue("panels/hud", 4);  // the app's other settings
        QCoreApplication::sendPostedEvents();           // Qt's writes and the settings' check
        EXPECT_TRUE(settings.developerMode());
        EXPECT_EQ(settings.inputMode("com.game"), InputMode::keymap);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[General]\n" + lines);
}

// The user's place, with HOME pointed into the test's folder for as long as it lives.
class UsersPlaceTest : public AppSettingsTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
        // Where leftovers are removed too: the test's own, not the machine's.
        ASSERT_TRUE(QDir().mkpath(folder.filePath("tmp")));
        qputenv("TMPDIR", QFile::encodeName(folder.filePath("tmp")));
    }
    void TearDown() override {
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", config);
        for (const auto& [variableName, value] :
             {std::pair{"XDG_RUNTIME_DIR", runtime}, {"TMPDIR", temp}}) {
            if (value) {
                qputenv(variableName, *value);
            } else {
                qunsetenv(variableName);
            }
        }
    }
    static std::optional<QByteArray> variable(const char* variableName) {
        return qEnvironmentVariableIsSet(variableName) ? std::optional(qgetenv(variableName))
                                                       : std::nullopt;
    }
    static bool write(const QString& path, const QByteArray& bytes) {
        QFile written(path);
        return written.open(QIODevice::WriteOnly) && written.write(bytes) == bytes.size();
    }
    // Never from a FIFO, which would wait for a writer.
    static QByteArray contents(const QString& path) {
        if (!QFileInfo(path).isFile()) {
            return {};
        }
        QFile read(path);
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }
    static QString placeIn(const QString& home) {
        test::useHome(home);
        return AppSettings::standardFile();
    }
    static mode_t kind(const QByteArray& path) {
        struct stat info {};
        return ::lstat(path.constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
    }

    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const std::optional<QByteArray> runtime = variable("XDG_RUNTIME_DIR");
    const std::optional<QByteArray> temp = variable("TMPDIR");
    const QString file = placeIn(folder.path());
    const QByteArray name = QFile::encodeName(file);
};

// A regular file, or a link to one of the user's own as dotfile managers install them, is read
// and written through while the app runs; anything else is named in the notice for what it is
// and left as it is. Qt would open a FIFO there and wait for a writer for good.
TEST_F(UsersPlaceTest, WhatStandsThereIsReadAndWrittenOrNamed) {
    const QByteArray compact = "[General]\nhudStyle=compact\n";
    const QString target = folder.filePath("dotfiles.ini");
    const QString fifo = folder.filePath("fifo");
    const QString missing = folder.filePath("missing.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Row {
        const char* what;
        std::function<bool()> make;
        QString notice;  // empty: read and written
    };
    const std::vector<Row> rows = {
        {"a regular file", [&] { return write(file, compact); }, ""},
        {"a link to a file of the user's own",
         [&] { return write(target, compact) && QFile::link(target, file); }, ""},
        {"a file over 1 MiB", [&] { return write(file, compact + QByteArray(1 << 20, '#')); },
         "is not a settings file Vantorel can read"},
        {"a FIFO", [&] { return ::mkfifo(name.constData(), 0600) == 0; }, "is not a regular file"},
        {"a folder", [&] { return QDir().mkdir(file); }, "is not a regular file"},
        {"a link to a FIFO", [&] { return QFile::link(fifo, file); },
         "is a symbolic link to " + fifo},
        {"a dangling link", [&] { return QFile::link(missing, file); },
         "is a symbolic link to " + missing},
        {"a link to another user's file",
         [&] {
             return write(target, compact) &&
                    ::chown(QFile::encodeName(target).constData(), 4242, 4242) == 0 &&
                    QFile::link(target, file);
         },
         "is a symbolic link to " + target},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(row.make());
        const mode_t before = kind(name);
        const QByteArray bytes = contents(file);
        {
            const auto settings = AppSettings::standard();
            if (row.notice.isEmpty()) {
                EXPECT_EQ(settings->saveProblem(), "");
            } else {
                EXPECT_TRUE(settings->saveProblem().contains(file + " " + row.notice))
                    << settings->saveProblem().toStdString();
            }
            EXPECT_EQ(settings->hudStyle(),
                      row.notice.isEmpty() ? HUDStyle::compact : HUDStyle::full);
            settings->setHudStyle(HUDStyle::hidden);
            settings->defaults().setValue("panels/hud", 4);  // the app's other settings
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents();
            if (row.notice.isEmpty()) {
                EXPECT_TRUE(contents(file).contains("hudStyle=hidden")) << "saved while it runs";
                EXPECT_TRUE(contents(file).contains("hud=4"));
            }
        }
        EXPECT_EQ(kind(name), before) << "a link stays a link";
        if (!row.notice.isEmpty()) {
            EXPECT_EQ(contents(file), bytes) << "left as it is";
        }
        ASSERT_TRUE(QFile::remove(file) || QDir().rmdir(file));
    }
}

// A mark in a folder's name turns neither the notice nor the rest of the path around.
TEST_F(UsersPlaceTest, TheNoticeNamesThePathThatIsThere) {
    const QString odd = placeIn(folder.filePath(QString::fromUtf8("\u202Eemoh")));
    ASSERT_TRUE(QDir().mkpath(odd));
    const auto settings = AppSettings::standard();
    EXPECT_TRUE(settings->saveProblem().startsWith("Settings cannot be saved: " + folder.path() +
                                                   "/\\u202Eemoh/"))
        << settings->saveProblem().toStdString();
}

// The copy Qt works on is kept in the runtime folder, the user's alone and emptied at logout;
// what a killed run left there is removed at the next start, and where no copy can be made the
// notice says why rather than blaming the settings file.
TEST_F(UsersPlaceTest, TheWorkingCopyIsPrivateAndOutlivesNoRun) {
    ASSERT_TRUE(write(file, "[General]\nhudStyle=compact\n"));
    const QDir runtimeFolder(folder.filePath("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtimeFolder.path()));
    const auto named = [&](const char* folderName) { return runtimeFolder.filePath(folderName); };
    for (const char* each : {"Vantorel-settings-killed", "Vantorel-settings-active",
                             "Vantorel-settings-others", "Vantorel-settings-opened"}) {
        ASSERT_TRUE(QDir().mkdir(named(each)));
        ASSERT_TRUE(write(named(each) + "/Vantorel.ini", "[General]\n"));
        ASSERT_EQ(::chmod(QFile::encodeName(named(each)).constData(), 0700), 0);
    }
    // Not the app's: another user's, and one anyone may enter.
    ASSERT_EQ(::chown(QFile::encodeName(named("Vantorel-settings-others")).constData(), 4242, 4242),
              0);
    ASSERT_EQ(::chmod(QFile::encodeName(named("Vantorel-settings-opened")).constData(), 0755), 0);
    const FileDescriptor held(
        ::open(QFile::encodeName(named("Vantorel-settings-active")).constData(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(runtimeFolder.path()).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    const auto copies = [&] {
        return runtimeFolder.entryList({"Vantorel-settings-*"}, QDir::Dirs, QDir::Name);
    };
    const QStringList kept = {"Vantorel-settings-active", "Vantorel-settings-opened",
                              "Vantorel-settings-others"};
    {
        const auto settings = AppSettings::standard();
        EXPECT_EQ(settings->saveProblem(), "");
        EXPECT_EQ(settings->hudStyle(), HUDStyle::compact);
        EXPECT_FALSE(QFileInfo::exists(named("Vantorel-settings-killed")));
        QStringList made = copies();
        for (const QString& each : kept) {
            EXPECT_TRUE(made.removeOne(each)) << each.toStdString();
        }
        ASSERT_EQ(made.size(), 1) << copies().join(' ').toStdString();
        struct stat copy {};
        ASSERT_EQ(
            ::stat(QFile::encodeName(runtimeFolder.filePath(made[0] + "/Vantorel.ini")), &copy), 0);
        EXPECT_EQ(copy.st_mode & 07777, 0600u);
    }
    EXPECT_EQ(copies(), kept);

    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(file + "/runtime"));
    qputenv("TMPDIR", QFile::encodeName(file + "/tmp"));
    const auto settings = AppSettings::standard();
    EXPECT_EQ(settings->saveProblem(),
              "Settings cannot be saved: Vantorel cannot keep its working copy of them in " + file +
                  "/tmp (no such file or directory). Changes last until Vantorel quits; make "
                  "room there and start Vantorel again.");
    EXPECT_EQ(settings->hudStyle(), HUDStyle::compact) << "what was read applies all the same";
}

// The runtime folder is used only where it is the user's alone, as the one-instance check
// requires; else the copy goes to the temporary folder, and nothing in the other is touched.
TEST_F(UsersPlaceTest, ARuntimeFolderNotTheUsersAloneIsNeverUsed) {
    ASSERT_TRUE(write(file, "[General]\nhudStyle=compact\n"));
    const QString tmp = folder.filePath("tmp");
    const QString runtimePlace = folder.filePath("runtime");
    const QString leftover = runtimePlace + "/Vantorel-settings-abcdef";
    ASSERT_TRUE(QDir().mkpath(leftover));
    ASSERT_EQ(::chmod(QFile::encodeName(leftover).constData(), 0700), 0);
    const QString working = QDir::currentPath();
    struct Row {
        const char* what;
        QByteArray variable;
        mode_t mode;
        uid_t owner;
    };
    for (const Row& row :
         {Row{"relative", ".", 0700, ::geteuid()},
          Row{"open to others", QFile::encodeName(runtimePlace), 0755, ::geteuid()},
          Row{"another user's", QFile::encodeName(runtimePlace), 0700, 4242}}) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(::chmod(QFile::encodeName(runtimePlace).constData(), row.mode), 0);
        ASSERT_EQ(::chown(QFile::encodeName(runtimePlace).constData(), row.owner, row.owner), 0);
        qputenv("XDG_RUNTIME_DIR", row.variable);
        ASSERT_TRUE(QDir::setCurrent(runtimePlace));
        {
            const auto settings = AppSettings::standard();
            EXPECT_EQ(settings->saveProblem(), "");
            EXPECT_EQ(settings->hudStyle(), HUDStyle::compact);
            EXPECT_EQ(QDir(tmp).entryList({"Vantorel-settings-*"}, QDir::Dirs).size(), 1);
            EXPECT_EQ(QDir(runtimePlace).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                      QStringList{"Vantorel-settings-abcdef"});
        }
        ASSERT_TRUE(QDir::setCurrent(working));
        EXPECT_TRUE(QFileInfo::exists(leftover));
    }
}

// A place that cannot hold the copy (a full runtime folder) is given up for the next; with none,
// the settings read still apply.
TEST_F(UsersPlaceTest, AFullFolderGivesWayToTheNextPlace) {
    const QString runtimePlace = folder.filePath("runtime");
    const QString tmp = folder.filePath("tmp");
    ASSERT_TRUE(QDir().mkpath(runtimePlace));
    struct Mount {
        explicit Mount(const QString& at) : path(QFile::encodeName(at)) {
            made = ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=16k,mode=0700") == 0;
        }
        ~Mount() {
            if (made) {
                ::umount2(path.constData(), MNT_DETACH);
            }
        }
        QByteArray path;
        bool made = false;
    };
    const Mount full(runtimePlace);
    if (!full.made) {
        GTEST_SKIP() << "no small file system can be mounted here: " << std::strerror(errno);
    }
    ASSERT_TRUE(write(file, "[General]\nhudStyle=compact\nfiller=" + QByteArray(64 << 10, 'x')));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimePlace));
    {
        const auto settings = AppSettings::standard();
        EXPECT_EQ(settings->saveProblem(), "");
        EXPECT_EQ(settings->hudStyle(), HUDStyle::compact);
        EXPECT_EQ(QDir(runtimePlace).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{});
        EXPECT_EQ(QDir(tmp).entryList({"Vantorel-settings-*"}, QDir::Dirs).size(), 1);
    }

    const Mount fullToo(tmp);
    ASSERT_TRUE(fullToo.made);
    const auto settings = AppSettings::standard();
    EXPECT_TRUE(settings->saveProblem().contains(runtimePlace + " (no space left on device)"))
        << settings->saveProblem().toStdString();
    EXPECT_EQ(settings->hudStyle(), HUDStyle::compact);
    EXPECT_EQ(settings->defaults().value("filler").toByteArray().size(), 64 << 10);
}

// Quit must not wait on a FIFO put in place after the start: the settings go to a new file
// renamed into place, and whatever stands at the place is never opened.
TEST_F(UsersPlaceTest, AFifoPutThereAfterTheStartIsNeverOpened) {
    ASSERT_TRUE(write(file, "[General]\nhudStyle=compact\n"));
    auto settings = AppSettings::standard();
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
    // A writer's open that does not wait succeeds only while a reader has the FIFO open: it
    // tells that one did, and lets a reader that waits go on.
    const int fifo = ::open(name.constData(), O_PATH | O_CLOEXEC);
    ASSERT_GE(fifo, 0);
    std::atomic<bool> done = false;
    std::atomic<int> opened = 0;
    std::thread writer([&] {
        const std::string reopen = "/proc/self/fd/" + std::to_string(fifo);
        while (!done) {
            const int end = ::open(reopen.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (end >= 0) {
                ++opened;
                ::close(end);
            }
            std::this_thread::yield();
        }
    });
    settings->setHudStyle(HUDStyle::hidden);
    settings.reset();  // as at Quit
    done = true;
    writer.join();
    ::close(fifo);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(kind(name), S_IFREG);
    EXPECT_TRUE(contents(file).contains("hudStyle=hidden"));
}

TEST(AppSettingsValuesTest, OptionsPresetsAndStylesFollowTheirRules) {
    EXPECT_EQ(resolve(StreamFrameRateOption::sixty, 120), 60);
    EXPECT_EQ(resolve(StreamFrameRateOption::matchDisplay, 0), 60);
    EXPECT_EQ(resolve(StreamFrameRateOption::matchDisplay, 120), 120);
    EXPECT_EQ(resolve(StreamFrameRateOption::phoneMaximum, 120), 0);
    EXPECT_EQ(next(next(next(HUDStyle::compact))), HUDStyle::compact);
    EXPECT_EQ(next(HUDStyle::hidden), HUDStyle::full);
    EXPECT_EQ(toggledByClick(HUDStyle::hidden), HUDStyle::full);
    EXPECT_EQ(toggledByClick(HUDStyle::full), HUDStyle::compact);

    QTemporaryDir folder;
    QSettings store(folder.filePath("Vantorel.ini"), QSettings::IniFormat);
    AppSettings settings(store);
    settings.setHevcStream(true);
    settings.setStreamResolution(StreamResolutionOption::balanced);
    ServerOptions given(7);
    given.maxFps = 120;
    given.videoCodecOptions = settings.gameVideoCodecOptions();
    ServerOptions expected = given;
    expected.videoCodec = VideoCodec::h265;
    expected.maxSize = 1600;
    expected.videoBitRate = 12'000'000;
    EXPECT_EQ(settings.streamOptions(given), expected);
    EXPECT_EQ(given.videoCodecOptions, ServerOptions::lowLatencyVideoCodecOptions());

    EXPECT_EQ(settings.resolutionPreset(), ResolutionPreset::hd);
    settings.setResolutionPreset(ResolutionPreset::hd);
    EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::sharp);
    settings.setResolutionPreset(ResolutionPreset::sd);
    EXPECT_EQ(settings.streamResolution(), StreamResolutionOption::fast);
    settings.setPicturePreset(PicturePreset::high);
    EXPECT_TRUE(settings.gpuUpscaling());
    settings.setLowLatencyEncoder(false);
    EXPECT_TRUE(settings.gameVideoCodecOptions().empty());
}

}  // namespace
}  // namespace qm
