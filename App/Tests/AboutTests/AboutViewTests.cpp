#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include <gtest/gtest.h>

#include "About/AboutScreen.h"
#include "About/LicenseDocument.h"
#include "Storage/AppSettings.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using test::findItem;
using test::isShown;
using test::textOf;

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The About view over settings in a temporary store and a bundle the test fills.
class AboutViewTest : public ::testing::Test {
protected:
    QQuickWindow& show() {
        window_ = test::showWindow(
            engine_, R"(
            import QtQuick
            import Vantorel
            Window {
                id: root
                required property AppSettings settings
                required property string bundle
                width: 420; height: 420
                AboutView { anchors.fill: parent; settings: root.settings; bundleRoot: bundle }
            })",
            {{"settings", QVariant::fromValue<QObject*>(&settings_)}, {"bundle", bundle_.path()}});
        return *window_;
    }
    AboutScreen& screen() { return *window_->findChild<AboutScreen*>(); }
    QString licenseShown(int document) {
        screen().select(document);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !screen().licenseText().isEmpty(); }, test::waitBound));
        return screen().licenseText();
    }

    QTemporaryDir bundle_;
    QTemporaryDir folder_;
    QSettings store_{folder_.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings_{store_};
    QQmlEngine engine_;
    test::ShownWindow window_;
};

TEST_F(AboutViewTest, OnlyAnAltOrCtrlClickOnTheVersionSwitchesDeveloperMode) {
    QQuickWindow& window = show();
    EXPECT_EQ(textOf(findItem(window, "version")), "Version ? (?)");
    QQuickItem* version = findItem(window, "version");
    const QPoint centre = version->mapToScene({version->width() / 2, 4}).toPoint();

    for (const Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::MetaModifier),
          Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        QTest::mouseClick(&window, Qt::LeftButton, modifiers, centre);
        EXPECT_FALSE(settings_.developerMode()) << modifiers;
    }
    QTest::mouseClick(&window, Qt::LeftButton, Qt::AltModifier, centre);
    EXPECT_TRUE(settings_.developerMode());
    EXPECT_TRUE(isShown(window, "developerModeOn"));
    EXPECT_EQ(store_.value("developerMode").toBool(), true);
    QTest::mouseClick(&window, Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier, centre);
    EXPECT_FALSE(settings_.developerMode());
    EXPECT_FALSE(isShown(window, "developerModeOn"));
    QTest::mouseClick(&window, Qt::LeftButton, Qt::ControlModifier, centre);
    EXPECT_TRUE(settings_.developerMode());
}

TEST_F(AboutViewTest, LicencesAreLookedUpInLicensesThenTopLevelElseDash) {
    write(bundle_.filePath("Licenses/NOTICE.txt"), "the notice");
    write(bundle_.filePath("NOTICE.txt"), "not this one");
    write(bundle_.filePath("server-LICENSE.txt"), "Apache");
    write(bundle_.filePath("Licenses/FidelityFX-CAS-LICENSE.txt"), "\xff\xfe broken");
    QQuickWindow& window = show();

    test::click(window, findItem(window, "licenses"));
    auto* sheet = window.findChild<QQuickWindow*>("licensesSheet");
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet->isVisible(); }, test::waitBound));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return textOf(findItem(*sheet, "licenseText")) == "the notice"; }, test::waitBound))
        << textOf(findItem(*sheet, "licenseText")).toStdString();
    EXPECT_EQ(licenseShown(1), "Apache");
    EXPECT_EQ(licenseShown(2), "—");  // PATCHES: nowhere
    EXPECT_EQ(licenseShown(3), "—");  // not UTF-8

    test::click(*sheet, findItem(*sheet, "done"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet->isVisible(); }, test::waitBound));
    test::click(window, findItem(window, "licenses"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return textOf(findItem(*sheet, "licenseText")) == "the notice"; }, test::waitBound))
        << textOf(findItem(*sheet, "licenseText")).toStdString();
    EXPECT_EQ(screen().selection(), 0);

    // From its text, clicked on to select some, Escape closes it too.
    sheet->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    test::click(*sheet, findItem(*sheet, "licenseText"));
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet->isVisible(); }, test::waitBound));

    // Closing the About window takes the sheet with it.
    test::click(window, findItem(window, "licenses"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->isVisible(); }, test::waitBound));
    window.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet->isVisible(); }, test::waitBound));
}

TEST(LicenseDocumentTest, TheBuiltBundleHoldsEveryNotice) {
    const Bundle bundle(QStringLiteral(QM_BUNDLE_DIR));
    for (const LicenseDocument& document : LicenseDocument::all()) {
        EXPECT_FALSE(document.text(bundle).value_or("").trimmed().isEmpty())
            << document.id.toStdString();
    }
}

}  // namespace
}  // namespace qm
