#include <QDir>
#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <sodium.h>

#include <gtest/gtest.h>

#include "ScriptedHttpServer.h"
#include "Support/ManualTimerSource.h"
#include "Updates/AppUpdater.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Answer = AppUpdater::Answer;
using test::ScriptedHttpServer;

constexpr qint64 packageSize = 4 * 1024 * 1024;
const QByteArray packagePath = "/vantorel_1.6_amd64.deb";
const QString savedName = "vantorel_1.6_amd64.deb";

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The signature the seed appcast carries for its Linux item.
QByteArray seedSignature() {
    QByteArray bytes(64, 0);
    for (int i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i);
    }
    return bytes.toBase64();
}

class AppUpdaterTest : public ::testing::Test {
protected:
    AppUpdaterTest() {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(publicKey_, secretKey_);
        package.resize(packageSize);
        for (qint64 i = 0; i < packageSize; ++i) {
            package[i] = static_cast<char>(i * 7 % 251);
        }
        serveDefaults();
        QDir(folder_.path()).mkdir("Downloads");
    }

    void serveDefaults() {
        server.answer("/appcast.xml", {.body = appcast(package)});
        server.answer(packagePath, {.body = package});
    }

    // The seed appcast served from here, its Linux item signed over `signedBytes`.
    QByteArray appcast(const QByteArray& signedBytes, const QByteArray& length = "4194304") {
        QByteArray signature(crypto_sign_BYTES, 0);
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char*>(signedBytes.constData()),
                             signedBytes.size(), secretKey_);
        QFile seed(QStringLiteral(QM_APPCAST_SEED));
        EXPECT_TRUE(seed.open(QIODevice::ReadOnly));
        return seed.readAll()
            .replace("https://updates.example/", server.url("/").toUtf8())
            .replace(seedSignature(), signature.toBase64())
            .replace(R"(length="4194304")", R"(length=")" + length + '"');
    }

    QString downloads() const { return folder_.filePath("Downloads"); }
    QStringList downloadedFiles() const {
        return QDir(downloads()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    std::unique_ptr<AppUpdater> makeUpdater(std::chrono::milliseconds transferTimeout = 30s,
                                            QString feed = {}) {
        const QByteArray key(reinterpret_cast<const char*>(publicKey_), crypto_sign_PUBLICKEYBYTES);
        const nlohmann::json info = {
            {"CFBundleShortVersionString", "1.5"},
            {"CFBundleVersion", "5"},
            {"SUFeedURL", (feed.isEmpty() ? server.url("/appcast.xml") : feed).toStdString()},
            {"SUPublicEDKey", key.toBase64().toStdString()},
        };
        UpdaterOptions options{.now = [this] { return now; },
                               .timers = &timers,
                               .checkInterval = 24h,
                               .transferTimeout = transferTimeout,
                               .downloadFolder = downloads(),
                               .openURL = [this](const QUrl& url) { opened.push_back(url); },
                               .reveal = [this](const QString& file) { revealed.push_back(file); }};
        return std::make_unique<AppUpdater>(info, settings, false, std::move(options));
    }

    // Until the updater is idle again with something to say.
    static bool answered(const AppUpdater& updater) {
        return QTest::qWaitFor(
            [&] { return updater.canCheckForUpdates() && updater.answer() != Answer::none; },
            30000);
    }

    QTemporaryDir folder_;
    QSettings settings{folder_.filePath("settings.ini"), QSettings::IniFormat};
    ScriptedHttpServer server;
    test::ManualTimerSource timers;
    QDateTime now = QDateTime(QDate(2024, 7, 3), QTime(12, 0), Qt::UTC);
    QByteArray package;
    std::vector<QUrl> opened;
    std::vector<QString> revealed;

private:
    unsigned char publicKey_[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey_[crypto_sign_SECRETKEYBYTES];
};

TEST_F(AppUpdaterTest, OffersTheNewerItemAndSavesItsVerifiedDownloadBesideEarlierOnes) {
    const auto updater = makeUpdater();
    for (const QString& name : {savedName, QStringLiteral("vantorel_1.6_amd64 (2).deb")}) {
        SCOPED_TRACE(name.toStdString());
        updater->checkForUpdates();
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(answered(*updater));
        ASSERT_EQ(updater->answer(), Answer::offer) << updater->answerText().toStdString();
        EXPECT_EQ(updater->answerText(), "Vantorel 1.6 is available. You have 1.5.");
        ASSERT_TRUE(updater->hasReleaseNotes());
        updater->openReleaseNotes();

        updater->download();
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(answered(*updater));
        ASSERT_EQ(updater->answer(), Answer::saved) << updater->answerText().toStdString();
        EXPECT_EQ(updater->answerText(), "Install it with your package manager.");
        updater->showInFolder();
        EXPECT_EQ(updater->answer(), Answer::none);
        EXPECT_TRUE(contents(QDir(downloads()).filePath(name)) == package);
    }
    EXPECT_EQ(opened, std::vector<QUrl>(2, QUrl(server.url("/notes/1.6.html"))));
    EXPECT_EQ(revealed,
              (std::vector<QString>{QDir(downloads()).filePath(savedName),
                                    QDir(downloads()).filePath("vantorel_1.6_amd64 (2).deb")}));
    EXPECT_EQ(downloadedFiles(), QStringList({"vantorel_1.6_amd64 (2).deb", savedName}));
    EXPECT_EQ(server.requests(),
              QList<QByteArray>({"/appcast.xml", packagePath, "/appcast.xml", packagePath}));
}

TEST_F(AppUpdaterTest, RefusesBadInputWithItsMessageAndKeepsNothingOfIt) {
    QFile existing(QDir(downloads()).filePath(savedName));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier download");
    existing.close();

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString refusedFeed =
        QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(closed.serverPort());
    closed.close();
    const QByteArray elsewhere = QStringLiteral("http://127.1:%1/").arg(server.port()).toUtf8();

    struct Case {
        const char* name;
        std::function<void()> script;
        bool download;
        QString message;
        QList<QByteArray> requests;
        QString feed{};
        std::chrono::milliseconds transferTimeout = 30s;
    };
    const QByteArray feedPath = "/appcast.xml";
    const std::vector<Case> cases = {
        {"signed over other bytes",
         [&] { server.answer(feedPath, {.body = appcast(package.left(100))}); },
         true,
         "The update is not signed correctly. Nothing was saved.",
         {feedPath, packagePath}},
        {"cut short",
         [&] { server.answer(packagePath, {.body = package, .sendAtMost = packageSize / 2}); },
         true,
         "The download was incomplete. Nothing was saved.",
         {feedPath, packagePath}},
        {"longer than announced",
         [&] { server.answer(feedPath, {.body = appcast(package.chopped(1), "4194303")}); },
         true,
         "The download was incomplete. Nothing was saved.",
         {feedPath, packagePath}},
        {"stalled",
         [&] {
             server.answer(packagePath,
                           {.body = package, .sendAtMost = packageSize / 2, .stall = true});
         },
         true,
         "The download was incomplete. Nothing was saved.",
         {feedPath, packagePath},
         {},
         50ms},
        {"download answered 500",
         [&] { server.answer(packagePath, {.status = 500}); },
         true,
         "The update server answered 500.",
         {feedPath, packagePath}},
        {"redirected to another host",
         [&] {
             server.answer(
                 packagePath,
                 {.status = 302, .headers = {{"Location", "http://updates.example/x.deb"}}});
         },
         true,
         "The update server answered 302.",
         {feedPath, packagePath}},
        {"feed of 100 MB",
         [&] { server.answer(feedPath, {.generatedSize = 100'000'000}); },
         false,
         "The update feed is too large.",
         {feedPath}},
        {"malformed feed",
         [&] { server.answer(feedPath, {.body = "<rss><channel><item></channel>"}); },
         false,
         "The update feed could not be read.",
         {feedPath}},
        {"no item for this system",
         [&] {
             server.answer(feedPath,
                           {.body = appcast(package).replace("binary-package\"",
                                                             "binary-package\" sparkle:os=\"x\"")});
         },
         false,
         "The update feed could not be read.",
         {feedPath}},
        {"enclosure on another http host",
         [&] {
             server.answer(feedPath, {.body = appcast(package).replace(
                                          server.url(packagePath).toUtf8(), elsewhere + "x.deb")});
         },
         false,
         "The update feed could not be read.",
         {feedPath}},
        {"feed answered 404",
         [&] { server.answer(feedPath, {.status = 404, .body = "gone"}); },
         false,
         "The update server answered 404.",
         {feedPath}},
        {"connection refused",
         [] {},
         false,
         "Couldn’t check for updates: Connection refused",
         {},
         refusedFeed},
        {"not newer",
         [&] {
             server.answer(feedPath, {.body = appcast(package).replace("<sparkle:version>6<",
                                                                       "<sparkle:version>5<")});
         },
         false,
         "Vantorel 1.5 is the newest version.",
         {feedPath}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveDefaults();
        c.script();
        const qsizetype requestsBefore = server.requests().size();
        const qint64 sentBefore = server.bodyBytesSent();
        const auto updater = makeUpdater(c.transferTimeout, c.feed);
        updater->checkForUpdates();
        ASSERT_TRUE(answered(*updater));
        if (c.download) {
            ASSERT_EQ(updater->answer(), Answer::offer) << updater->answerText().toStdString();
            updater->download();
            ASSERT_TRUE(answered(*updater));
        }
        EXPECT_EQ(updater->answer(),
                  c.message.startsWith("Vantorel") ? Answer::upToDate : Answer::failed);
        EXPECT_EQ(updater->answerText(), c.message);
        EXPECT_EQ(server.requests().mid(requestsBefore), c.requests);
        // Stopped long before the end, and never kept whole.
        EXPECT_LT(server.bodyBytesSent() - sentBefore, 32 * 1024 * 1024);
        EXPECT_EQ(downloadedFiles(), QStringList{savedName});
        EXPECT_EQ(contents(existing.fileName()), "an earlier download");
    }
}

TEST_F(AppUpdaterTest, ChecksAtStartOnceADayHasPassedThenDailyAndSpeaksOnlyOfAnUpdate) {
    struct Case {
        const char* name;
        std::optional<std::chrono::hours> sinceLastCheck;
        bool checksAtStart;
    };
    const std::vector<Case> cases = {
        {"23 h ago", 23h, false},
        {"25 h ago", 25h, true},
        {"in the future", -1h, true},
        {"never", std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serveDefaults();
        settings.clear();
        if (c.sinceLastCheck) {
            settings.setValue(AppUpdater::lastCheckTimeKey,
                              now.addSecs(-std::chrono::seconds(*c.sinceLastCheck).count())
                                  .toString(Qt::ISODate));
        }
        const qsizetype requestsBefore = server.requests().size();
        const auto updater = makeUpdater();
        timers.advance(0ms);
        EXPECT_EQ(updater->canCheckForUpdates(), !c.checksAtStart);
        if (!c.checksAtStart) {
            EXPECT_EQ(server.requests().size(), requestsBefore);
            timers.advance(1h);  // due a day after the last one
        }
        ASSERT_TRUE(answered(*updater));
        EXPECT_EQ(updater->answer(), Answer::offer);
        EXPECT_EQ(server.requests().size(), requestsBefore + 1);
        EXPECT_EQ(settings.value(AppUpdater::lastCheckTimeKey).toString(),
                  now.toString(Qt::ISODate));
        updater->dismiss();

        // A day later the next one; its failure is only logged.
        server.answer("/appcast.xml", {.status = 404});
        timers.advance(24h);
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(QTest::qWaitFor([&] { return updater->canCheckForUpdates(); }, 30000));
        EXPECT_EQ(updater->answer(), Answer::none);
        EXPECT_EQ(server.requests().size(), requestsBefore + 2);
    }
}

TEST_F(AppUpdaterTest, CheckForUpdatesCommandFollowsTheUpdater) {
    const auto updater = makeUpdater();
    const AppUpdater without(nlohmann::json::object(), settings, false);
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(&engine);
    component.setData("import Vantorel\nUpdateCommands {}", QUrl());
    ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
    const auto command = [&](const AppUpdater* target) {
        std::unique_ptr<QObject> made(component.createWithInitialProperties(
            {{"updater", QVariant::fromValue(const_cast<AppUpdater*>(target))}}));
        EXPECT_TRUE(made) << component.errorString().toStdString();
        return made;
    };
    const auto disabled = command(&without);
    const auto enabled = command(updater.get());
    ASSERT_TRUE(disabled && enabled);
    EXPECT_FALSE(disabled->property("enabled").toBool());
    EXPECT_EQ(enabled->property("text").toString(), "Check for Updates…");
    EXPECT_TRUE(enabled->property("enabled").toBool());

    QMetaObject::invokeMethod(enabled.get(), "trigger");
    EXPECT_FALSE(enabled->property("enabled").toBool());
    ASSERT_TRUE(answered(*updater));
    EXPECT_TRUE(enabled->property("enabled").toBool());
    EXPECT_EQ(server.requests(), QList<QByteArray>{"/appcast.xml"});
}

}  // namespace
}  // namespace qm
