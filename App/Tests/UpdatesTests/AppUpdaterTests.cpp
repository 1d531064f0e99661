#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ScriptedHttpServer.h"
#include "Support/ManualTimerSource.h"
#include "Updates/AppUpdater.h"
#include "Updates/UpdateFile.h"
#include "Updates/UpdateTransfer.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Answer = AppUpdater::Answer;

constexpr qint64 packageSize = 4 * 1024 * 1024;
const QByteArray feedPath = "/appcast.xml";
const QByteArray packagePath = "/vantorel_1.6_amd64.deb";
const QString savedName = "vantorel_1.6_amd64.deb";
const QString secondName = "vantorel_1.6_amd64 (2).deb";

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sends https requests as plain http to the scripted server, path and all, so that a feed
// elsewhere can be played without TLS.
class PlainNetwork : public QNetworkAccessManager {
public:
    explicit PlainNetwork(quint16 port) : port_(port) {}

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* data) override {
        QNetworkRequest plain = request;
        if (request.url().scheme() == u"https") {
            QUrl url = request.url();
            url.setScheme("http");
            url.setHost("127.0.0.1");
            url.setPort(port_);
            plain.setUrl(url);
        }
        return QNetworkAccessManager::createRequest(operation, plain, data);
    }

private:
    quint16 port_;
};

class AppUpdaterTest : public ::testing::Test {
protected:
    AppUpdaterTest() {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(publicKey_, secretKey_);
        package.resize(packageSize);
        randombytes_buf(package.data(), package.size());
        serveDefaults();
        QDir(folder_.path()).mkdir("Downloads");
    }

    void serveDefaults() {
        server.answer(feedPath, {.body = appcast(package)});
        server.answer(packagePath, {.body = package});
    }

    QByteArray sign(const QByteArray& message) const {
        QByteArray signature(crypto_sign_BYTES, 0);
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char*>(message.constData()),
                             message.size(), secretKey_);
        return signature;
    }

    // The seed appcast served from here, its Linux item signed over `signedBytes` and its version
    // signed as `signedVersion` with their digest.
    QByteArray appcast(const QByteArray& signedBytes, const QByteArray& length = "4194304",
                       const QString& signedVersion = "6") {
        QByteArray digest(crypto_hash_sha256_BYTES, 0);
        crypto_hash_sha256(reinterpret_cast<unsigned char*>(digest.data()),
                           reinterpret_cast<const unsigned char*>(signedBytes.constData()),
                           signedBytes.size());
        QByteArray seedSignature(64, 0);
        QByteArray seedVersionSignature(64, 0);
        std::iota(seedSignature.begin(), seedSignature.end(), 0);
        std::iota(seedVersionSignature.begin(), seedVersionSignature.end(), char(128));
        QFile seed(QStringLiteral(QM_APPCAST_SEED));
        EXPECT_TRUE(seed.open(QIODevice::ReadOnly));
        return seed.readAll()
            .replace("https://updates.example/", server.url("/").toUtf8())
            .replace(seedSignature.toBase64(), sign(signedBytes).toBase64())
            .replace(seedVersionSignature.toBase64(),
                     sign(UpdateFile::versionMessage(signedVersion, digest)).toBase64())
            .replace(R"(length="4194304")", R"(length=")" + length + '"');
    }

    QString downloads(const QString& name = {}) const {
        return QDir(folder_.filePath("Downloads")).filePath(name);
    }
    QStringList downloadedFiles() const {
        return QDir(downloads()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    std::unique_ptr<AppUpdater> makeUpdater(std::chrono::milliseconds transferTimeout = 30s,
                                            const QString& feed = {}) {
        const QByteArray key(reinterpret_cast<const char*>(publicKey_), sizeof publicKey_);
        const nlohmann::json info = {
            {"CFBundleShortVersionString", "1.5"},
            {"CFBundleVersion", "5"},
            {"SUFeedURL", (feed.isEmpty() ? server.url(feedPath) : feed).toStdString()},
            {"SUPublicEDKey", key.toBase64().toStdString()},
        };
        UpdaterOptions options{.now = [this] { return now; },
                               .timers = &timers,
                               .checkInterval = 24h,
                               .transferTimeout = transferTimeout,
                               .network = &plainNetwork,
                               .lookup = hosts,
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
    test::ScriptedHttpServer server;
    PlainNetwork plainNetwork{server.port()};
    // here.example is this computer, any other name a host on the internet.
    UpdateTransfer::HostLookup hosts = [](const QString& host, QObject*,
                                          const UpdateTransfer::Addresses& answer) {
        answer({host == u"here.example" ? QHostAddress(QHostAddress::LocalHost)
                                        : QHostAddress("203.0.113.1")});
    };
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
    // What a run that ended mid-download left goes at the start; another's download under way
    // stays.
    QFile left(downloads(".vantorel-update-AbC123"));
    QFile underWay(downloads(".vantorel-update-XyZ789"));
    for (QFile* file : {&left, &underWay}) {
        ASSERT_TRUE(file->open(QIODevice::WriteOnly));
        file->write("unverified");
    }
    left.close();
    ASSERT_EQ(::flock(underWay.handle(), LOCK_EX | LOCK_NB), 0);
    // Listed first, a FIFO no one writes to neither holds up the rest nor goes.
    const QByteArray fifo = QFile::encodeName(downloads(".vantorel-update-000000"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto updater = makeUpdater();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !left.exists(); }, 30000));
    EXPECT_TRUE(QFileInfo::exists(QFile::decodeName(fifo)));
    for (const QString& name : {savedName, secondName}) {
        SCOPED_TRACE(name.toStdString());
        updater->checkForUpdates();
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(answered(*updater));
        ASSERT_EQ(updater->answer(), Answer::offer) << updater->answerText().toStdString();
        EXPECT_EQ(updater->answerText(), "Vantorel 1.6 is available. You have 1.5.");
        updater->openReleaseNotes();

        updater->download();
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(answered(*updater));
        ASSERT_EQ(updater->answer(), Answer::saved) << updater->answerText().toStdString();
        EXPECT_EQ(updater->answerText(), "Install it with your package manager.");
        updater->showInFolder();
        EXPECT_TRUE(contents(downloads(name)) == package);
    }
    EXPECT_EQ(opened, std::vector<QUrl>(2, QUrl(server.url("/notes/1.6.html"))));
    EXPECT_EQ(revealed, (std::vector<QString>{downloads(savedName), downloads(secondName)}));
    EXPECT_EQ(downloadedFiles(), QStringList({".vantorel-update-XyZ789", secondName, savedName}));
}

TEST_F(AppUpdaterTest, RefusesBadInputWithItsMessageAndKeepsNothingOfIt) {
    QFile existing(downloads(savedName));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier download");
    existing.close();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString refusedFeed = QStringLiteral("http://127.0.0.1:%1/x").arg(closed.serverPort());
    closed.close();

    const auto serveFeed = [&](QByteArray body) { server.answer(feedPath, {.body = body}); };
    struct Case {
        const char* name;
        std::function<void()> script;
        // Whether it fails once "Download" is chosen.
        bool download;
        QString message;
        std::chrono::milliseconds transferTimeout = 30s;
        QString feed{};
    };
    const QString incomplete = "The download was incomplete. Nothing was saved.";
    const QString leadsHere =
        "The update server pointed to this computer or its network, which "
        "only a feed there may do. Nothing was fetched from it.";
    const QString feedElsewhere = "https://feed.example/appcast.xml";
    const QString unreadable = "The update feed could not be read.";
    const std::vector<Case> cases = {
        {"signed over other bytes", [&] { serveFeed(appcast(package.left(100))); }, true,
         "The update is not signed correctly. Nothing was saved."},
        // An older signed build, whose version signature names its own version.
        {"announced as newer than it is", [&] { serveFeed(appcast(package, "4194304", "4")); },
         true, "The update is not signed correctly. Nothing was saved."},
        {"no version signature",
         [&] { serveFeed(appcast(package).replace("sparkle:edVersionSignature", "x")); }, false,
         unreadable},
        {"cut short",
         [&] { server.answer(packagePath, {.body = package, .sendAtMost = packageSize / 2}); },
         true, incomplete},
        {"longer than announced", [&] { serveFeed(appcast(package.chopped(1), "4194303")); }, true,
         incomplete},
        // Only the feed may stall: every transfer has the short time-out, and a busy machine
        // may pause any of them that long.
        {"stalled feed",
         [&] { server.answer(feedPath, {.body = "<rss>", .sendAtMost = 2, .stall = true}); }, false,
         "Couldn’t check for updates: Operation canceled", 50ms},
        {"download answered 500", [&] { server.answer(packagePath, {.status = 500}); }, true,
         "The update server answered 500."},
        {"redirected to another host",
         [&] {
             server.answer(packagePath,
                           {.status = 302, .headers = {{"Location", "http://u.example/x.deb"}}});
         },
         true, "The update server answered 302."},
        {"feed of 100 MB", [&] { server.answer(feedPath, {.generatedSize = 100'000'000}); }, false,
         "The update feed is too large."},
        {"malformed feed", [&] { serveFeed("<rss><channel><item></channel>"); }, false, unreadable},
        {"no item for this system",
         [&] { serveFeed(appcast(package).replace("package\"", "package\" sparkle:os=\"x\"")); },
         false, unreadable},
        {"enclosure on another http host",
         [&] {
             const QString elsewhere = QStringLiteral("http://127.1:%1/").arg(server.port());
             serveFeed(appcast(package).replace(server.url("/").toUtf8() + "vantorel",
                                                elsewhere.toUtf8() + "vantorel"));
         },
         false, unreadable},
        {"feed answered 404", [&] { server.answer(feedPath, {.status = 404, .body = "gone"}); },
         false, "The update server answered 404."},
        {"connection refused", [] {}, false, "Couldn’t check for updates: Connection refused", 30s,
         refusedFeed},
        {"not newer", [&] { serveFeed(appcast(package).replace(">6<", ">5<")); }, false,
         "Vantorel 1.5 is the newest version."},
        {"feed elsewhere redirected here",
         [&] {
             server.answer(feedPath, {.status = 302,
                                      .headers = {{"Location", "https://here.example/a.xml"}}});
         },
         false, leadsHere, 30s, feedElsewhere},
        {"enclosure here from a feed elsewhere",
         [&] {
             serveFeed(appcast(package).replace(server.url("/").toUtf8() + "vantorel",
                                                "https://here.example/vantorel"));
         },
         true, leadsHere, 30s, feedElsewhere},
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
        // Nothing else asked for: no redirect or enclosure elsewhere followed.
        QList<QByteArray> expected;
        if (c.feed != refusedFeed) {
            expected = c.download && c.message != leadsHere ? QList{feedPath, packagePath}
                                                            : QList{feedPath};
        }
        EXPECT_EQ(server.requests().mid(requestsBefore), expected);
        EXPECT_LT(server.bodyBytesSent() - sentBefore, 32 * 1024 * 1024);
        EXPECT_EQ(downloadedFiles(), QStringList{savedName});
        EXPECT_EQ(contents(existing.fileName()), "an earlier download");
    }
}

TEST_F(AppUpdaterTest, ADownloadShowsItsProgressAndCancelKeepsNothingOfIt) {
    server.answer(packagePath, {.body = package, .sendAtMost = packageSize / 2, .stall = true});
    const auto updater = makeUpdater();
    QQmlEngine engine;
    const test::ShownWindow window =
        test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        Window {
            id: window
            required property AppUpdater updater
            width: 640; height: 480
            Column {
                PushButton { objectName: "first"; text: "First" }
                PushButton { objectName: "before"; text: "Before" }
            }
            UpdateAnswerDialog { updater: window.updater }
        })",
                         {{"updater", QVariant::fromValue<QObject*>(updater.get())}});
    ASSERT_TRUE(window);
    QQuickItem* before = test::findItem(*window, "before");
    before->forceActiveFocus();
    updater->checkForUpdates();
    ASSERT_TRUE(answered(*updater));
    // The keys are the answer's button's, Download's, then Cancel's once Download has gone.
    const auto hasKeys = [&](const char* name) {
        return QTest::qWaitFor([&] { return test::findItem(*window, name)->hasActiveFocus(); });
    };
    EXPECT_TRUE(hasKeys("download"));
    // Its buttons stand evenly spaced, the one the answer hides leaving no room.
    ASSERT_TRUE(test::waitForFrame(*window));
    QList<QQuickItem*> buttons =
        test::shownItems(window->contentItem(), [](const QQuickItem& item) {
            return item.inherits("QQuickButton") && item.objectName() != "first" &&
                   item.objectName() != "before";
        });
    ASSERT_EQ(buttons.size(), 3);
    std::sort(buttons.begin(), buttons.end(), [](QQuickItem* a, QQuickItem* b) {
        return a->mapToScene({0, 0}).x() < b->mapToScene({0, 0}).x();
    });
    const auto gap = [&](int i) {
        return buttons[i + 1]->mapToScene({0, 0}).x() -
               buttons[i]->mapToScene({buttons[i]->width(), 0}).x();
    };
    EXPECT_EQ(gap(0), gap(1));
    updater->download();
    EXPECT_EQ(updater->answer(), Answer::downloading);
    EXPECT_EQ(updater->answerText(), "Downloading Vantorel 1.6…");
    ASSERT_TRUE(QTest::qWaitFor([&] { return updater->downloadProgress() >= 0.5; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return test::isShown(*window, "downloadProgress"); }));
    QQuickItem* cancel = test::findItem(*window, "dismiss");
    EXPECT_EQ(test::textOf(cancel), "Cancel");
    EXPECT_TRUE(hasKeys("dismiss"));

    test::click(*window, cancel);
    EXPECT_EQ(updater->answer(), Answer::none);
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_EQ(downloadedFiles(), QStringList());
    // Closed, it gives the keys back where they were, or to the first control once that is gone.
    EXPECT_TRUE(QTest::qWaitFor([&] { return before->hasActiveFocus(); }));
    updater->checkForUpdates();
    ASSERT_TRUE(answered(*updater));
    EXPECT_TRUE(hasKeys("download"));
    before->setVisible(false);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(hasKeys("first"));
}

TEST_F(AppUpdaterTest, ADownloadBeingCheckedSurvivesAnotherStartsCleanUp) {
    const auto updater = makeUpdater();
    updater->checkForUpdates();
    ASSERT_TRUE(answered(*updater));
    // The only worker is held: the download has its name and waits there to be checked.
    QThreadPool& workers = *QThreadPool::globalInstance();
    workers.waitForDone();
    const int threads = workers.maxThreadCount();
    workers.setMaxThreadCount(1);
    std::promise<void> release;
    workers.start([held = release.get_future().share()] { held.wait(); });
    updater->download();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !downloadedFiles().isEmpty(); }, 30000));
    UpdateFile::removeLeftovers(downloads());
    release.set_value();
    workers.setMaxThreadCount(threads);
    ASSERT_TRUE(answered(*updater));
    EXPECT_EQ(updater->answer(), Answer::saved) << updater->answerText().toStdString();
    EXPECT_EQ(downloadedFiles(), QStringList{savedName});
}

TEST_F(AppUpdaterTest, OnlyAFeedOnThisComputerOrItsNetworkLeadsThere) {
    // The scripted server is the proxy of every request, and records where each was sent.
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", server.port()));
    const std::map<QString, QList<QHostAddress>> names = {
        {"web.example", {QHostAddress("203.0.113.1")}},
        {"cdn.example", {QHostAddress("203.0.113.2")}},
        {"here.example", {QHostAddress("203.0.113.3"), QHostAddress::LocalHost}},
        {"lan.example", {QHostAddress("192.168.1.4")}},
    };
    const auto lookup = [&](const QString& host, QObject*,
                            const UpdateTransfer::Addresses& answer) {
        answer(names.contains(host) ? names.at(host) : QList<QHostAddress>());
    };
    const auto redirect = [&](const QByteArray& path, const QByteArray& to) {
        server.answer(path, {.status = 302,
                             .body = "<a href=\"" + to + "\">moved</a>",
                             .headers = {{"Location", to}}});
    };
    const QByteArray local = server.url("/").toUtf8();
    redirect("http://203.0.113.2/to-here", "https://here.example/v.deb");
    redirect("http://203.0.113.2/to-mapped", "https://[::ffff:0.0.0.0]:9/v.deb");
    redirect(local + "a", "/b");
    server.answer(local + "b", {.body = "b"});
    server.answer(local + "loop", {.status = 302, .headers = {{"Location", "/loop"}}});
    server.answer(
        local + "heavy",
        {.status = 302, .body = QByteArray(40, 'x'), .headers = {{"Location", "/heavy"}}});
    server.answer("http://203.0.113.2/v.deb", {.body = "v"});
    struct Case {
        QByteArray url;
        QByteArray feed;
        QList<QByteArray> requests;
        bool leadsHere;
    };
    const QByteArray web = "https://web.example/appcast.xml";
    const QByteArray lan = "https://lan.example/appcast.xml";
    const std::vector<Case> cases = {
        // A name is asked for at the address it was judged by.
        {"http://cdn.example/v.deb", web, {"http://203.0.113.2/v.deb"}, false},
        {"https://here.example/v.deb", web, {}, true},
        {"https://here.example/v.deb", lan, {"here.example:443"}, false},
        {"https://localhost.:9/v.deb", web, {}, true},
        {"http://cdn.example/to-here", web, {"http://203.0.113.2/to-here"}, true},
        {"http://cdn.example/to-mapped", web, {"http://203.0.113.2/to-mapped"}, true},
        {"http://cdn.example/to-here",
         lan,
         {"http://203.0.113.2/to-here", "here.example:443"},
         false},
        {local + "a", local + "appcast.xml", {local + "a", local + "b"}, false},
        // A name with an address here and one elsewhere is elsewhere too.
        {"https://lan.example/v.deb", "https://here.example/appcast.xml", {}, true},
        {local + "loop", local + "appcast.xml", QList<QByteArray>(21, local + "loop"), false},
        // Redirects' bodies count toward the limit of 100 bytes.
        {local + "heavy", local + "appcast.xml", QList<QByteArray>(3, local + "heavy"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.url + " from " + c.feed).toStdString());
        const qsizetype before = server.requests().size();
        std::optional<UpdateTransfer::Result> result;
        const UpdateTransfer transfer(
            network, QUrl::fromEncoded(c.url), QUrl::fromEncoded(c.feed), 100,
            [](QByteArrayView) { return true; },
            [&](const UpdateTransfer::Result& done) { result = done; }, lookup);
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 30000));
        EXPECT_EQ(result->leadsHere, c.leadsHere);
        EXPECT_EQ(server.requests().mid(before), c.requests);
        // What a redirect's body brought is not counted as the file's.
        if (result->status == 200) {
            EXPECT_EQ(result->received, 1);
        }
    }
}

TEST_F(AppUpdaterTest, ChecksAtStartOnceADayHasPassedThenDailyAndSpeaksOnlyOfAnUpdate) {
    for (const auto& [sinceLastCheck, checksAtStart] :
         std::vector<std::pair<std::optional<std::chrono::hours>, bool>>{
             {23h, false}, {25h, true}, {-1h, true}, {std::nullopt, true}}) {
        SCOPED_TRACE(sinceLastCheck ? sinceLastCheck->count() : 0);
        serveDefaults();
        settings.clear();
        if (sinceLastCheck) {
            settings.setValue(
                AppUpdater::lastCheckTimeKey,
                now.addSecs(-std::chrono::seconds(*sinceLastCheck).count()).toString(Qt::ISODate));
        }
        const qsizetype requestsBefore = server.requests().size();
        const auto updater = makeUpdater();
        timers.advance(0ms);
        EXPECT_EQ(updater->canCheckForUpdates(), !checksAtStart);
        if (!checksAtStart) {
            EXPECT_EQ(server.requests().size(), requestsBefore);
            timers.advance(1h);  // a day after the last one
        }
        ASSERT_TRUE(answered(*updater));
        EXPECT_EQ(updater->answer(), Answer::offer);
        EXPECT_EQ(settings.value(AppUpdater::lastCheckTimeKey), now.toString(Qt::ISODate));
        updater->dismiss();

        // A day later the next; its failure is only logged.
        server.answer(feedPath, {.status = 404});
        timers.advance(24h);
        EXPECT_FALSE(updater->canCheckForUpdates());
        ASSERT_TRUE(QTest::qWaitFor([&] { return updater->canCheckForUpdates(); }, 30000));
        EXPECT_EQ(updater->answer(), Answer::none);
        EXPECT_EQ(server.requests().size(), requestsBefore + 2);
    }
}

TEST_F(AppUpdaterTest, CheckForUpdatesCommandFollowsTheUpdater) {
    const auto updater = makeUpdater();
    AppUpdater without(nlohmann::json::object(), settings, false);
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(&engine);
    component.setData("import Vantorel\nUpdateCommands {}", QUrl());
    ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
    const auto command = [&](AppUpdater* target) {
        return std::unique_ptr<QObject>(
            component.createWithInitialProperties({{"updater", QVariant::fromValue(target)}}));
    };
    const auto disabled = command(&without);
    const auto enabled = command(updater.get());
    EXPECT_FALSE(disabled->property("enabled").toBool());
    EXPECT_EQ(enabled->property("text").toString(), "Check for Updates…");
    EXPECT_TRUE(enabled->property("enabled").toBool());

    QMetaObject::invokeMethod(enabled.get(), "trigger");
    EXPECT_FALSE(enabled->property("enabled").toBool());
    ASSERT_TRUE(answered(*updater));
    EXPECT_TRUE(enabled->property("enabled").toBool());
}

}  // namespace
}  // namespace qm
