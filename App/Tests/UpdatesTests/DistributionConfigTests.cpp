#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Updates/AppUpdater.h"
#include "Updates/DistributionConfig.h"

namespace qm {
namespace {

const QString key32 = QByteArray(32, '\x07').toBase64();

TEST(DistributionConfigTest, ReadsEachKeyByItsRule) {
    struct Case {
        nlohmann::json value;
        std::optional<QString> feed, key, support;
    };
    const std::vector<Case> cases = {
        {" \n https://updates.example/appcast.xml\n", "https://updates.example/appcast.xml",
         std::nullopt, "https://updates.example/appcast.xml"},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {" \t\n", std::nullopt, std::nullopt, std::nullopt},
        {42, std::nullopt, std::nullopt, std::nullopt},
        {true, std::nullopt, std::nullopt, std::nullopt},
        {"https:///appcast.xml", std::nullopt, std::nullopt, std::nullopt},
        {"HTTPS://updates.example/a", std::nullopt, std::nullopt, std::nullopt},
        {"https://exa mple.com/", std::nullopt, std::nullopt, std::nullopt},
        {"http://127.0.0.1:8080/a", "http://127.0.0.1:8080/a", std::nullopt, std::nullopt},
        {"http://localhost/a", "http://localhost/a", std::nullopt, std::nullopt},
        {"http://updates.example/a", std::nullopt, std::nullopt, std::nullopt},
        // Loopback only as written exactly.
        {"http://127.1/a", std::nullopt, std::nullopt, std::nullopt},
        {"http://LOCALHOST/a", std::nullopt, std::nullopt, std::nullopt},
        {"http://localhost:80@updates.example/a", std::nullopt, std::nullopt, std::nullopt},
        {"ftp://127.0.0.1/a", std::nullopt, std::nullopt, std::nullopt},
        {key32.toStdString(), std::nullopt, key32, std::nullopt},
        {QStringLiteral(" %1\n").arg(key32).toStdString(), std::nullopt, key32, std::nullopt},
        {QByteArray(31, 'k').toBase64().toStdString(), std::nullopt, std::nullopt, std::nullopt},
        {QByteArray(33, 'k').toBase64().toStdString(), std::nullopt, std::nullopt, std::nullopt},
        {(key32.left(20) + "\n" + key32.mid(20)).toStdString(), std::nullopt, std::nullopt,
         std::nullopt},
        {key32.chopped(1).toStdString(), std::nullopt, std::nullopt, std::nullopt},
        {"not base64 at all, not at all, not at all!!", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.dump());
        const DistributionConfig config(
            {{"SUFeedURL", c.value}, {"SUPublicEDKey", c.value}, {"QMSupportURL", c.value}});
        EXPECT_EQ(config.feedURL, c.feed ? std::optional(QUrl(*c.feed)) : std::nullopt);
        EXPECT_EQ(config.sparklePublicKey, c.key);
        EXPECT_EQ(config.supportURL, c.support ? std::optional(QUrl(*c.support)) : std::nullopt);
    }
    EXPECT_EQ(DistributionConfig(nlohmann::json::array({"SUFeedURL"})), DistributionConfig());
}

TEST(DistributionConfigTest, UpdaterRunsOnlyWithFeedAndKeyAndNotUnderATestHost) {
    qputenv("QM_HOSTED_BY_TESTS", "1");
    QTemporaryDir folder;
    QSettings defaults(folder.filePath("settings.ini"), QSettings::IniFormat);
    const nlohmann::json feed = {"SUFeedURL", "https://updates.example/appcast.xml"};
    const nlohmann::json key = {"SUPublicEDKey", key32.toStdString()};
    const nlohmann::json version = {"CFBundleVersion", "5"};
    struct Case {
        nlohmann::json info;
        std::optional<bool> hostingTests;
        bool runs;
    };
    const std::vector<Case> cases = {
        {{feed, key, version}, false, true}, {{feed, key, version}, std::nullopt, false},
        {{feed, key, version}, true, false}, {{feed, version}, false, false},
        {{key, version}, false, false},      {{feed, key, {"CFBundleVersion", "5b"}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info.dump());
        const AppUpdater updater(c.info, defaults, c.hostingTests);
        EXPECT_EQ(updater.config().updatesEnabled(),
                  c.info.contains("SUPublicEDKey") && c.info.contains("SUFeedURL"));
        EXPECT_EQ(updater.canCheckForUpdates(), c.runs);
    }
}

}  // namespace
}  // namespace qm
