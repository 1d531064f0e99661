#include <QFile>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Updates/Appcast.h"
#include "Updates/UpdateError.h"
#include "Updates/UpdateFile.h"
#include "Updates/UpdateVersion.h"

namespace qm {
namespace {

std::vector<AppcastItem> parse(const QByteArray& xml) {
    return parseAppcast(xml);
}

QByteArray feed(const QByteArray& items, const QByteArray& sparkle = "urn:test:updates") {
    return R"(<?xml version="1.0"?><rss version="2.0" xmlns:sparkle=")" + sparkle +
           R"("><channel><title>Vantorel</title>)" + items + "</channel></rss>";
}

TEST(UpdateVersionTest, ComparesDottedNumbersNumerically) {
    struct Case {
        const char* a;
        const char* b;
        std::strong_ordering order;
    };
    const std::vector<Case> cases = {
        {"1.2", "1.2.0", std::strong_ordering::equal},
        {"1.10", "1.9", std::strong_ordering::greater},
        {"01.002", "1.2", std::strong_ordering::equal},
        {"2", "1.99.99", std::strong_ordering::greater},
        {"1.0.0.1", "1", std::strong_ordering::greater},
        {"99999999999999999999999", "99999999999999999999998", std::strong_ordering::greater},
        {"0", "0.0.0", std::strong_ordering::equal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const auto a = UpdateVersion::parse(QString::fromUtf8(c.a));
        const auto b = UpdateVersion::parse(QString::fromUtf8(c.b));
        ASSERT_TRUE(a && b);
        EXPECT_EQ(*a <=> *b, c.order);
        EXPECT_EQ(*b <=> *a, 0 <=> (*a <=> *b));
    }
    for (const char* bad : {"", "1.", ".1", "1..2", "+1", "-1", " 1", "1a", "1.2-beta", "١"}) {
        EXPECT_FALSE(UpdateVersion::parse(QString::fromUtf8(bad))) << bad;
    }
}

TEST(AppcastTest, ReadsItemsByTheNamespaceBoundToTheUpdatePrefix) {
    QFile seed(QStringLiteral(QM_APPCAST_SEED));
    ASSERT_TRUE(seed.open(QIODevice::ReadOnly));
    const std::vector<AppcastItem> items = parse(seed.readAll());
    ASSERT_EQ(items.size(), 2u);
    // The first item's only enclosure is for another system.
    EXPECT_EQ(items[0].version, "7");
    EXPECT_EQ(items[0].url, "");
    EXPECT_EQ(items[1], (AppcastItem{.version = "6",
                                     .shortVersionString = "1.6",
                                     .releaseNotesLink = "https://updates.example/notes/1.6.html",
                                     .url = "https://updates.example/vantorel_1.6_amd64.deb",
                                     .length = "4194304",
                                     .edSignature = items[1].edSignature}));

    // Another prefix for the same namespace counts; another namespace does not.
    const std::vector<AppcastItem> bound = parse(feed(R"(
        <item><u:version xmlns:u="urn:test:updates">3</u:version>
              <x:shortVersionString xmlns:x="urn:other">x</x:shortVersionString>
              <enclosure url="https://u.example/a" sparkle:version="9" sparkle:os="linux"/>
        </item>
        <item><enclosure url="https://u.example/b" sparkle:version="4" sparkle:os="windows"/>
              <enclosure url="https://u.example/c" sparkle:version="5" length="12"/></item>)"));
    ASSERT_EQ(bound.size(), 2u);
    EXPECT_EQ(bound[0].version, "3");
    EXPECT_EQ(bound[0].shortVersionString, "");
    EXPECT_EQ(bound[0].url, "https://u.example/a");
    EXPECT_EQ(bound[1].version, "5");
    EXPECT_EQ(bound[1].url, "https://u.example/c");

    // Without the prefix bound, plain attributes of the same names are not update attributes.
    const std::vector<AppcastItem> unbound = parse(
        R"(<rss><channel><item><enclosure url="https://u.example/a" version="2" os="windows"/>)"
        R"(</item></channel></rss>)");
    ASSERT_EQ(unbound.size(), 1u);
    EXPECT_EQ(unbound[0].version, "");
    EXPECT_EQ(unbound[0].url, "https://u.example/a");
}

TEST(AppcastTest, RefusesMalformedXmlADtdAndAnotherRoot) {
    const std::vector<QByteArray> bad = {
        "",
        feed("<item>").chopped(3),
        feed("<item></item>") + "<rss/>",
        R"(<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY a "aaaa">]><rss><channel/></rss>)",
        R"(<feed xmlns="http://www.w3.org/2005/Atom"><entry/></feed>)",
        R"(<rss xmlns="urn:not-rss"><channel/></rss>)",
    };
    for (const QByteArray& xml : bad) {
        SCOPED_TRACE(xml.toStdString());
        try {
            parse(xml);
            ADD_FAILURE() << "read";
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.kind(), UpdateErrorKind::feedUnreadable);
        }
    }
}

TEST(AppcastTest, OffersOnlyCompleteItemsAndTheNewestOfThem) {
    const QByteArray signature = QByteArray(64, 's').toBase64();
    const auto item = [&](const char* version, const char* url, const char* length,
                          const QByteArray& sig) {
        return AppcastItem{.version = version,
                           .shortVersionString = {},
                           .releaseNotesLink = "javascript:alert(1)",
                           .url = url,
                           .length = length,
                           .edSignature = sig};
    };
    const std::vector<AppcastItem> items = {
        item("9", "https://u.example/9", "10", signature.chopped(4)),
        item("9.1", "http://u.example/9", "10", signature),
        item("9b", "https://u.example/9", "10", signature),
        item("9.2", "https://u.example/9", "-1", signature),
        item("9.3", "https://u.example/9", "536870913", signature),
        item("2.1", "https://u.example/2", "", signature),
        item("3", "https://u.example/3", "536870912", signature),
        item("2.9", "http://127.0.0.1:9/2", "1", signature),
    };
    const AppcastChoice choice = chooseNewest(items);
    EXPECT_EQ(choice.skipped.size(), 5u);
    ASSERT_TRUE(choice.newest);
    EXPECT_EQ(choice.newest->version, UpdateVersion::parse(u"3"));
    EXPECT_EQ(choice.newest->displayVersion, "3");
    EXPECT_EQ(choice.newest->length, 536870912);
    EXPECT_EQ(choice.newest->signature, QByteArray(64, 's'));
    EXPECT_EQ(choice.newest->releaseNotes, std::nullopt);
    EXPECT_FALSE(chooseNewest({items[0], items[1]}).newest);
}

TEST(UpdateFileTest, NamesTheDownloadAfterTheAddressSafely) {
    struct Case {
        const char* url;
        QString name;
    };
    const std::vector<Case> cases = {
        {"https://u.example/dl/vantorel_1.6_amd64.deb?sig=1#x", "vantorel_1.6_amd64.deb"},
        {"https://u.example/b%20c.deb", "b_c.deb"},
        {"https://u.example/a%2F..%2F..%2Fd.deb", "d.deb"},
        {"https://u.example/..hidden.deb", "hidden.deb"},
        {"https://u.example/%C3%BCn.deb", "_n.deb"},
        {"https://u.example/dl/", "Vantorel-1.6_beta"},
        {"https://u.example/...", "Vantorel-1.6_beta"},
        {"https://u.example/", "Vantorel-1.6_beta"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(UpdateFile::saveName(QUrl(c.url), "1.6 beta"), c.name);
    }
    const QString longName =
        UpdateFile::saveName(QUrl("https://u.example/" + QString(300, 'a') + ".deb"), "1.6");
    EXPECT_EQ(longName.size(), 200);
    EXPECT_TRUE(longName.endsWith(".deb"));
}

}  // namespace
}  // namespace qm
