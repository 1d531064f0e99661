#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Updates/AppUpdater.h"
#include "Updates/DistributionConfig.h"

namespace qm {
namespace {

const std::string key32 = QByteArray(32, '\x07').toBase64().toStdString();

TEST(DistributionConfigTest, ReadsEachKeyByItsRule) {
    // The same value under every key: what each rule makes of it.
    struct Case {
        nlohmann::json value;
        const char* feed;
        const char* key;
        const char* support;
    };
    const char* no = nullptr;
    const char* web = "https://u.example/appcast.xml";
    const std::vector<Case> cases = {
        {" \n https://u.example/appcast.xml\n", web, no, web},
        {" \t\n", no, no, no},
        {42, no, no, no},
        {true, no, no, no},
        {"https:///appcast.xml", no, no, no},
        {"HTTPS://u.example/a", no, no, no},
        {"http://127.0.0.1:8080/a", "http://127.0.0.1:8080/a", no, no},
        {"http://localhost/a", "http://localhost/a", no, no},
        {"http://u.example/a", no, no, no},
        // Loopback only as written exactly.
        {"http://127.1/a", no, no, no},
        {"http://LOCALHOST/a", no, no, no},
        {"http://localhost:80@u.example/a", no, no, no},
        {" " + key32 + "\n", no, key32.c_str(), no},
        {QByteArray(31, 'k').toBase64().toStdString(), no, no, no},
        {QByteArray(33, 'k').toBase64().toStdString(), no, no, no},
        {key32.substr(0, 20) + "\n" + key32.substr(20), no, no, no},
        {key32.substr(0, 43), no, no, no},
    };
    const auto url = [](const char* text) {
        return text ? std::optional(QUrl(text)) : std::nullopt;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.dump());
        const DistributionConfig config(
            {{"SUFeedURL", c.value}, {"SUPublicEDKey", c.value}, {"QMSupportURL", c.value}});
        EXPECT_EQ(config.feedURL, url(c.feed));
        EXPECT_EQ(config.sparklePublicKey, c.key ? std::optional(QString(c.key)) : std::nullopt);
        EXPECT_EQ(config.supportURL, url(c.support));
    }
}

TEST(DistributionConfigTest, OnlyAFeedOnThisComputerMayLeadToThisComputer) {
    const QUrl web("https://u.example/appcast.xml");
    const QUrl local("http://127.0.0.1:8080/appcast.xml");
    struct Case {
        const char* link;
        bool fromWeb;
        bool fromLocal;
    };
    const std::vector<Case> cases = {
        {"https://cdn.example/v.deb", true, true},
        {"http://127.0.0.1:9/v.deb", false, true},
        {"http://localhost/v.deb", false, true},
        {"https://127.0.0.1/v.deb", false, true},
        {"https://127.9.9.9/v.deb", false, true},
        {"https://[::1]/v.deb", false, true},
        {"https://[::ffff:127.0.0.1]/v.deb", false, true},
        {"https://0.0.0.0/v.deb", false, true},
        {"https://app.localhost/v.deb", false, true},
        {"https://LocalHost/v.deb", false, true},
        {"https://localhost./v.deb", false, true},
        {"https://127.0.0.1./v.deb", false, true},
        {"https://[::ffff:0.0.0.0]:8443/v.deb", false, true},
        {"https://[::ffff:192.168.1.2]/v.deb", false, true},
        {"https://[::127.0.0.1]/v.deb", false, true},
        {"https://10.0.0.1/v.deb", false, true},
        {"https://100.64.0.1/v.deb", false, true},
        {"https://172.31.255.255/v.deb", false, true},
        {"https://172.32.0.1/v.deb", true, true},
        {"https://192.168.0.10/v.deb", false, true},
        {"https://169.254.169.254/v.deb", false, true},
        {"https://[fe80::1]/v.deb", false, true},
        {"https://[fd12::1]/v.deb", false, true},
        {"https://[fc00::1]/v.deb", false, true},
        {"https://[fec0::1]/v.deb", false, true},
        {"https://[ff02::fb]/v.deb", false, true},
        {"https://[2001:db8::1]/v.deb", true, true},
        {"https://[64:ff9b::10.1.2.3]/v.deb", false, true},
        {"https://[64:ff9b::8.8.8.8]/v.deb", true, true},
        {"https://[2002:c0a8:102::1]/v.deb", false, true},
        {"https://[2002:808:808::1]/v.deb", true, true},
        {"https://[64:ff9b:1::8.8.8.8]/v.deb", false, true},
        {"https://[::ffff:0:127.0.0.1]/v.deb", false, true},
        {"https://[::ffff:0:8.8.8.8]/v.deb", true, true},
        {"https://[2001:2::1]/v.deb", false, true},
        {"https://192.0.0.8/v.deb", false, true},
        {"https://192.0.1.8/v.deb", true, true},
        {"https://198.19.255.255/v.deb", false, true},
        {"https://198.17.255.255/v.deb", true, true},
        {"https://224.0.0.251/v.deb", false, true},
        {"https://255.255.255.255/v.deb", false, true},
        {"http://cdn.example/v.deb", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DistributionConfig::linkURLFrom(c.link, web).has_value(), c.fromWeb) << c.link;
        EXPECT_EQ(DistributionConfig::linkURLFrom(c.link, local).has_value(), c.fromLocal)
            << c.link;
    }
}

TEST(DistributionConfigTest, UpdaterRunsOnlyWithFeedAndKeyAndNotUnderATestHost) {
    qputenv("QM_HOSTED_BY_TESTS", "1");
    QTemporaryDir folder;
    QSettings defaults(folder.filePath("settings.ini"), QSettings::IniFormat);
    const nlohmann::json feed = {"SUFeedURL", "https://u.example/appcast.xml"};
    const nlohmann::json key = {"SUPublicEDKey", key32};
    const nlohmann::json version = {"CFBundleVersion", "5"};
    struct Case {
        nlohmann::json info;
        std::optional<bool> hostingTests;
        bool runs;
    };
    const std::vector<Case> cases = {
        {{feed, key, version}, false, true}, {{feed, key, version}, std::nullopt, false},
        {{feed, key, version}, true, false}, {{feed, version}, false, false},
        {{key, version}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info.dump());
        EXPECT_EQ(AppUpdater(c.info, defaults, c.hostingTests).canCheckForUpdates(), c.runs);
    }
}

}  // namespace
}  // namespace qm
