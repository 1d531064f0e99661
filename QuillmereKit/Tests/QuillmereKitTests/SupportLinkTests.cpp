#include <QJsonObject>
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QuillmereKit/Help/SupportLinks.h"

namespace qm {
namespace {

std::string text(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded).toStdString();
}

TEST(SupportLinkTest, BuildsPagesAndFormsWithEveryValueEncoded) {
    using SupportLink::Topic;
    const QUrl base("https://example.com/support?a=1#top");
    EXPECT_EQ(text(SupportLink::quickFixes(base, false)), "https://example.com/support?a=1#top");
    EXPECT_EQ(text(SupportLink::quickFixes(base, true)), "https://example.com/ru/support?a=1#top");
    EXPECT_EQ(text(SupportLink::quickFixes(QUrl("https://example.com"), true)),
              "https://example.com/ru/");
    EXPECT_EQ(text(SupportLink::quickFixes(QUrl("https://example.com/"), true)),
              "https://example.com/ru/");

    struct Case {
        QString version, build;
        Topic topic;
        bool russian;
        std::string url;
    };
    const std::vector<Case> cases = {
        {"2.1", "57", Topic::bug, false,
         "https://example.com/support?v=2.1%20(57)&os=14.5.0&topic=bug#form"},
        {"2.1+1", "?", Topic::idea, true,
         "https://example.com/ru/support?v=2.1%2B1%20(?)&os=14.5.0&topic=idea#form"},
        {"a&b=c#d%e", "é", Topic::other, false,
         "https://example.com/support?v=a%26b%3Dc%23d%25e%20(%C3%A9)&os=14.5.0&topic=other#form"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            text(SupportLink::contact(base, c.version, c.build, "14.5.0", c.topic, c.russian)),
            c.url);
    }
    EXPECT_EQ(SupportLink::topicFromRawValue("idea"), Topic::idea);
    EXPECT_EQ(SupportLink::topicFromRawValue("Bug"), std::nullopt);
}

TEST(SupportLinkTest, CurrentLinksNeedAnHttpsAddressWithAHost) {
    for (const char* url :
         {"", "   ", "http://example.com", "HTTPS://example.com", "https:///path"}) {
        EXPECT_EQ(SupportLinks::current({url, "2.1", "57"}, {}), std::nullopt) << url;
    }
    EXPECT_EQ(SupportLinks::current({}, {}), std::nullopt);
    const auto links = SupportLinks::current({" https://example.com/help\n", "2.1", {}}, "ru");
    ASSERT_TRUE(links.has_value());
    EXPECT_TRUE(links->russian);
    EXPECT_EQ(text(links->base), "https://example.com/help");
    EXPECT_EQ(links->build, "?");
    EXPECT_FALSE(SupportLinks::current({"https://a.b", {}, {}}, "ru_RU")->russian);
}

TEST(SupportLinkTest, SystemVersionIsThreeNumbers) {
    const std::vector<std::array<QString, 3>> cases = {
        {"12", "6.1.0-18-amd64", "12.0.0"},
        {"22.04", "6.5.0", "22.4.0"},
        {"1.2.3.4", "", "1.2.3"},
        {"unknown", "6.1.0-18-amd64", "6.1.0"},
        {"", "6.5", "6.5.0"},
        {"trixie/sid", "6.10.11+bpo-amd64", "6.10.11"},
        {"99999999999", "6.1", "6.1.0"},
        {"unknown", "Linux", "?"},
    };
    for (const auto& [product, kernel, version] : cases) {
        EXPECT_EQ(SupportLinks::systemVersionOf(product, kernel).toStdString(),
                  version.toStdString())
            << product.toStdString();
    }
}

}  // namespace
}  // namespace qm
