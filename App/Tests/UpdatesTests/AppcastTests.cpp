#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Updates/Appcast.h"
#include "Updates/UpdateError.h"
#include "Updates/UpdateFile.h"

namespace qm {
namespace {

QByteArray feed(const QByteArray& items) {
    return R"(<rss version="2.0" xmlns:sparkle="urn:u"><channel>)" + items + "</channel></rss>";
}

TEST(UpdateVersionTest, ComparesDottedNumbersNumerically) {
    using std::strong_ordering;
    const std::vector<std::tuple<const char*, const char*, strong_ordering>> cases = {
        {"1.2", "1.2.0", strong_ordering::equal},
        {"1.10", "1.9", strong_ordering::greater},
        {"01.002", "1.2", strong_ordering::equal},
        {"2", "1.99.9", strong_ordering::greater},
        {"1.0.0.1", "1", strong_ordering::greater},
        {"99999999999999999999999", "99999999999999999999998", strong_ordering::greater},
    };
    for (const auto& [a, b, order] : cases) {
        SCOPED_TRACE(std::string(a) + " vs " + b);
        EXPECT_EQ(*UpdateVersion::parse(QString(a)) <=> *UpdateVersion::parse(QString(b)), order);
        EXPECT_EQ(*UpdateVersion::parse(QString(b)) <=> *UpdateVersion::parse(QString(a)),
                  0 <=> order);
    }
    for (const char* bad : {"", "1.", ".1", "1..2", "+1", "-1", " 1", "1.2-beta", "١"}) {
        EXPECT_FALSE(UpdateVersion::parse(QString::fromUtf8(bad))) << bad;
    }
}

TEST(AppcastTest, ReadsItemsByTheNamespaceBoundToTheUpdatePrefix) {
    QFile seed(QStringLiteral(QM_APPCAST_SEED));
    ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
    const std::vector<AppcastItem> items = parseAppcast(seed.readAll());
    ASSERT_EQ(items.size(), 2u);
    // The first item's only enclosure is for another system.
    EXPECT_EQ(items[0].url, "");
    EXPECT_EQ(items[1], (AppcastItem{.version = "6",
                                     .shortVersionString = "1.6",
                                     .releaseNotesLink = "https://updates.example/notes/1.6.html",
                                     .url = "https://updates.example/vantorel_1.6_amd64.deb",
                                     .length = "4194304",
                                     .edSignature = items[1].edSignature,
                                     .edVersionSignature = items[1].edVersionSignature}));
    EXPECT_EQ(items[1].edVersionSignature.size(), 88);

    // Any prefix of the bound namespace counts, another namespace or an unbound name does not;
    // the version element comes before the enclosure's.
    const std::vector<AppcastItem> bound = parseAppcast(feed(R"(
        <item><u:version xmlns:u="urn:u">3</u:version>
              <x:shortVersionString xmlns:x="urn:x">x</x:shortVersionString>
              <enclosure url="https://u.example/a" sparkle:version="9" sparkle:os="linux"/></item>
        <item><enclosure url="https://u.example/b" sparkle:os="windows"/>
              <enclosure url="https://u.example/c" sparkle:version="5" os="windows"/></item>)"));
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound[0].version + bound[0].shortVersionString + bound[0].url,
              "3https://u.example/a");
    EXPECT_EQ(bound[1].version + bound[1].url, "5https://u.example/c");
}

TEST(AppcastTest, RefusesMalformedXmlADtdAndAnotherRoot) {
    for (const QByteArray& bad : {
             QByteArray(),
             feed("<item>"),
             feed("") + "<rss/>",
             QByteArray(R"(<!DOCTYPE rss [<!ENTITY a "aaaa">]><rss><channel/></rss>)"),
             QByteArray(R"(<feed xmlns="http://www.w3.org/2005/Atom"/>)"),
         }) {
        SCOPED_TRACE(bad.toStdString());
        try {
            parseAppcast(bad);
            ADD_FAILURE() << "read";
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.kind(), UpdateErrorKind::feedUnreadable);
        }
    }
}

TEST(AppcastTest, OffersTheNewestCompleteItem) {
    const QByteArray signature = QByteArray(64, 's').toBase64();
    const auto item = [&](const char* version, const char* url, const char* length,
                          const QByteArray& sig = QByteArray(64, 's').toBase64(),
                          const QByteArray& versionSig = QByteArray(64, 'v').toBase64()) {
        return AppcastItem{version, {}, "javascript:alert(1)", url, length, sig, versionSig};
    };
    const AppcastChoice choice = chooseNewest(
        {
            item("9", "https://u.example/9", "10", signature.chopped(4)),
            item("9.0.1", "https://u.example/9", "10", signature, ""),
            item("9.1", "http://u.example/9", "10"),
            item("9b", "https://u.example/9", "10"),
            item("9.2", "https://u.example/9", "-1"),
            item("9.3", "https://u.example/9", "536870913"),
            item("9.4", "http://127.0.0.1:9/2", "1"),
            item("2.1", "https://u.example/2", ""),
            item("3", "https://u.example/3", "536870912"),
            item("1.0000000000000000000000000000001", "https://u.example/1", "1"),
        },
        QUrl("https://u.example/appcast.xml"));
    EXPECT_EQ(choice.skipped.size(), 8u);
    EXPECT_EQ(choice.skipped.back(),
              "version \"1.0000000000000000000000000000001\" is longer than 32 characters");
    ASSERT_TRUE(choice.newest);
    EXPECT_EQ(choice.newest->url, QUrl("https://u.example/3"));
    EXPECT_EQ(choice.newest->displayVersion, "3");
    EXPECT_EQ(choice.newest->signature, QByteArray(64, 's'));
    EXPECT_EQ(choice.newest->versionSignature, QByteArray(64, 'v'));
    EXPECT_EQ(choice.newest->releaseNotes, std::nullopt);
    // Thirty-two characters are a version still, as the publisher's script makes them.
    const auto thirtyTwo =
        chooseNewest({item("8.8.8.8.8.8.8.8.8.8.8.8.8.8.8.88", "https://u.example/8", "1")},
                     QUrl("https://u.example/appcast.xml"));
    ASSERT_TRUE(thirtyTwo.newest) << thirtyTwo.skipped.front();

    // The short version string is shown only when it is short and looks like a version: it must
    // neither break nor reorder the sentence it is shown in.
    for (const auto& [shown, displayed] : std::vector<std::pair<QString, QString>>{
             {"1.8-beta2+rc~1", "1.8-beta2+rc~1"},
             {"", "4"},
             {"12345678.12345678.12345678.12345", "12345678.12345678.12345678.12345"},
             {"12345678.12345678.12345678.123456", "4"},
             {"9.9 - get it at evil.example now", "4"},
             {"9.9-getitatevil.example", "4"},
             {"1..8", "4"},
             {"1.8-", "4"},
             {"beta1", "4"},
             {QString(1 << 20, '1'), "4"},
             {"1.8.\nYou have 9.9", "4"},
             {"1.8\u202E", "4"},
             {"\u05D0 1.8", "4"},
             {"1.8 <b>", "4"},
         }) {
        AppcastItem named = item("4", "https://u.example/4", "1");
        named.shortVersionString = shown;
        EXPECT_EQ(chooseNewest({named}, QUrl("https://u.example/a.xml")).newest->displayVersion,
                  displayed)
            << shown.left(40).toStdString();
    }

    // A link to this computer from a feed elsewhere is dropped.
    AppcastItem notes = item("4", "https://u.example/4", "1");
    notes.releaseNotesLink = "http://127.0.0.1:9/notes.html";
    EXPECT_EQ(chooseNewest({notes}, QUrl("https://u.example/a.xml")).newest->releaseNotes,
              std::nullopt);
    EXPECT_EQ(chooseNewest({notes}, QUrl("http://localhost/a.xml")).newest->releaseNotes,
              QUrl("http://127.0.0.1:9/notes.html"));
}

TEST(UpdateFileTest, NamesTheDownloadAfterTheAddressSafely) {
    for (const auto& [url, name] : std::vector<std::pair<std::string, QString>>{
             {"https://u.example/dl/vantorel_1.6_amd64.deb?sig=1#x", "vantorel_1.6_amd64.deb"},
             {"https://u.example/b%20c.deb", "b_c.deb"},
             {"https://u.example/a%2F..%2F..%2Fd.deb", "d.deb"},
             {"https://u.example/..hidden.deb", "hidden.deb"},
             {"https://u.example/%C3%BCn.deb", "_n.deb"},
             {"https://u.example/dl/", "Vantorel-1.6_beta"},
             {"https://u.example/...", "Vantorel-1.6_beta"},
             {"https://u.example/" + std::string(300, 'a') + ".deb", QString(196, 'a') + ".deb"},
         }) {
        EXPECT_EQ(UpdateFile::saveName(QUrl(QString::fromStdString(url)), "1.6 beta"), name) << url;
    }
}

// The publisher's script signs a package as the check wants it, with a key made by openssl, and
// refuses what would make a bad item.
TEST(UpdateFileTest, ThePublishedItemOffersAFileThatVerifies) {
    QTemporaryDir dir;
    const QString key = dir.filePath("key.pem");
    const QString otherKey = dir.filePath("ed448.pem");
    // sha256sum marks a name with a backslash in its output.
    const QString package = dir.filePath("vantorel_1.8\\amd64.deb");
    ASSERT_EQ(QProcess::execute("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}), 0);
    ASSERT_EQ(QProcess::execute("openssl", {"genpkey", "-algorithm", "ed448", "-out", otherKey}),
              0);
    ASSERT_EQ(QProcess::execute("openssl", {"rand", "-out", package, "100000"}), 0);
    const QString url = "https://u.example/vantorel_1.8_amd64.deb?a&b";
    // In the package's folder, as a publisher types a name there.
    const auto publish = [&](const QStringList& command) {
        auto script = std::make_unique<QProcess>();
        script->setWorkingDirectory(dir.path());
        script->start(command.front(), command.mid(1));
        EXPECT_TRUE(script->waitForFinished(60000));
        return script;
    };
    const QString run = QM_PUBLISH_UPDATE;
    for (const auto& [command, why] : std::vector<std::pair<QStringList, QByteArray>>{
             {{run, otherKey, package, "8", url}, "is not an Ed25519 private key"},
             {{run, key, package, "8", "http://u.example/v.deb"}, "is not https://"},
             {{run, key, package, "8", "https://u.example/v\x01.deb"},
              "URL holds a control character"},
             {{run, key, package, "8", url, "1.8\x1b[2J"},
              "SHOWN_VERSION holds a control character"},
             {{"env", "LC_ALL=C", run, key, package, "8", url, "1.8\u0085"},
              "SHOWN_VERSION holds a control character"},
             {{run, key, package, "8", url, "1.8\uFFFE"},
              "SHOWN_VERSION holds a control character"},
             // A byte that is no UTF-8, which a QString cannot carry.
             {{"bash", "-c", R"(exec "$0" "$@" $'1.8\xff')", run, key, package, "8", url},
              "SHOWN_VERSION is not valid UTF-8"},
             {{run, key, package, "8", "https://"}, "names no host"},
             {{run, key, package, "8", "https://u@:443/v.deb"}, "names no host"},
             {{run, key, package, "8", "https://u.example/v 1.deb"}, "holds a space"},
             {{run, key, package, "8", url, "1.8 <beta>"}, "SHOWN_VERSION is not a version"},
             {{run, key, package, "8", url, "1.8\u202E"}, "SHOWN_VERSION is not a version"},
             {{run, key, package, "8", url, "9.9 - get it at evil.example now"},
              "SHOWN_VERSION is not a version"},
             {{run, key, package, "8", url, "1.123456789"}, "SHOWN_VERSION is not a version"},
             {{run, key, package, "8", url, "12345678.12345678.12345678.123456"},
              "SHOWN_VERSION is not a version of at most 32"},
             {{run, key, package, "1." + QString(31, '8'), url}, "VERSION is longer than 32"},
         }) {
        SCOPED_TRACE(command.join(' ').toStdString());
        const auto refused = publish(command);
        EXPECT_NE(refused->exitCode(), 0);
        EXPECT_TRUE(refused->readAllStandardError().contains(why));
        EXPECT_EQ(refused->readAllStandardOutput(), "");
    }
    // Named as options of the commands the script runs.
    for (const QString name : {"-L", "--help"}) {
        ASSERT_TRUE(QFile::copy(package, dir.filePath(name)));
        const QByteArray item = publish({run, key, name, "8", url})->readAllStandardOutput();
        EXPECT_TRUE(item.contains("length=\"100000\"")) << item.toStdString();
    }
    // The longest version both sides take.
    const auto script =
        publish({run, key, package, "8.8.8.8.8.8.8.8.8.8.8.8.8.8.8.88", url, "1.8-beta2+rc~1"});
    ASSERT_EQ(script->exitCode(), 0) << script->readAllStandardError().toStdString();
    const QByteArray output = script->readAllStandardOutput();

    const AppcastChoice choice =
        chooseNewest(parseAppcast(feed(output.mid(output.indexOf("<item>")))),
                     QUrl("https://u.example/appcast.xml"));
    ASSERT_TRUE(choice.newest) << output.toStdString();
    EXPECT_EQ(choice.newest->url, QUrl("https://u.example/vantorel_1.8_amd64.deb?a&b"));
    EXPECT_EQ(choice.newest->displayVersion, "1.8-beta2+rc~1");
    const QByteArray publicKey =
        QByteArray::fromBase64(output.mid(0, output.indexOf('\n')).replace("SUPublicEDKey: ", ""));
    EXPECT_TRUE(UpdateFile::verify(package, *choice.newest, publicKey));
}

}  // namespace
}  // namespace qm
