#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Storage/Bundle.h"

namespace qm {
namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(BundleTest, ReadsTextValuesOfInfoJsonAndNothingFromAMalformedOne) {
    QTemporaryDir folder;
    const QString info = folder.filePath("Info.json");
    struct Case {
        QByteArray json;
        std::optional<QString> version;
    };
    const std::vector<Case> cases = {
        {R"({"CFBundleShortVersionString": "1.2", "CFBundleVersion": 34})", "1.2"},
        {R"({"CFBundleShortVersionString": 1.2})", std::nullopt},
        {R"({"CFBundleShortVersionString": "1.2")", std::nullopt},
        {R"(["CFBundleShortVersionString"])", std::nullopt},
        {"\xff\xfe", std::nullopt},
        {R"({"CFBundleShortVersionString": ")" + QByteArray(Bundle::maxInfoSize, 'x') + R"("})",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.left(60).toStdString());
        write(info, c.json);
        const Bundle bundle(folder.path());
        EXPECT_EQ(bundle.infoString("CFBundleShortVersionString"), c.version);
        EXPECT_EQ(bundle.infoString("CFBundleVersion"), std::nullopt);
    }
    QFile::remove(info);
    EXPECT_EQ(Bundle(folder.path()).infoString("CFBundleVersion"), std::nullopt);
}

TEST(BundleTest, FindsResourcesByNameExtensionAndSubfolder) {
    QTemporaryDir folder;
    QDir(folder.path()).mkpath("Demo");
    write(folder.filePath("Demo/demo.qmstream"), "x");
    const Bundle bundle(folder.path());
    EXPECT_EQ(bundle.path(u"demo", u"qmstream", u"Demo"), folder.filePath("Demo/demo.qmstream"));
    EXPECT_EQ(bundle.path(u"demo", u"qmstream"), std::nullopt);
    EXPECT_EQ(bundle.path(u"Demo", u""), std::nullopt);  // a folder is no resource
}

}  // namespace
}  // namespace qm
