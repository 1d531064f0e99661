// The "Developer" menu in the main window, over a real app model with a fake phone link and
// fake sessions.
#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "Developer/DeveloperCommandsModel.h"
#include "FakeSession.h"
#include "Model/AppModel.h"
#include "Storage/AppSettings.h"
#include "Updates/AppUpdater.h"
#include "ViewTestEnvironment.h"
#include "ViewTesting.h"

namespace qm {
namespace {

const DeviceInfo phone{"R58M123ABC", "samsung", "SM-G991B", "14", 34};

template <typename Condition>
bool eventually(Condition condition) {
    return QTest::qWaitFor(condition, test::waitBound);
}

class DeveloperCommandsTest : public ::testing::Test {
protected:
    DeveloperCommandsTest() {
        QDir(folder.path()).mkpath("bundle");
        QFile jar(folder.filePath("bundle/quillmere-server.jar"));
        EXPECT_TRUE(jar.open(QIODevice::WriteOnly) && jar.write("jar") == 3);
        jar.close();
        model = std::make_unique<AppModel>(
            settings, test::viewTestEnvironment(folder, [this](Bytes jarBytes) {
                session = std::make_shared<test::FakeSession>(std::move(jarBytes));
                return session;
            }));
    }

    ~DeveloperCommandsTest() override {
        if (session) {
            session->cancelPending();
        }
    }

    // The menu bar's titles, in order, without their mnemonics' marks.
    static QStringList titles(QQuickWindow& window) {
        QStringList shown;
        for (const QObject* menu : test::menuBarMenus(window)) {
            shown << menu->property("title").toString().remove('&');
        }
        return shown;
    }

    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    std::unique_ptr<AppModel> model;
    std::shared_ptr<test::FakeSession> session;
    QQmlEngine engine;
};

TEST_F(DeveloperCommandsTest, MenuFollowsDeveloperModeAndItsFlashItemsTheStream) {
    AppUpdater updater(nlohmann::json::object(), store, true);
    auto window = test::showWindow(
        engine, "import Vantorel\nMainWindow {}",
        {{"model", QVariant::fromValue(model.get())}, {"updater", QVariant::fromValue(&updater)}});
    ASSERT_TRUE(window);
    QObject* raw = window->findChild<QObject*>("recordRawStream");
    QObject* dataURL = window->findChild<QObject*>("flashTestDataURL");
    QObject* downloads = window->findChild<QObject*>("flashTestDownloadsFile");
    auto* commands = window->findChild<DeveloperCommandsModel*>("developerCommands");
    ASSERT_TRUE(raw && dataURL && downloads && commands);

    commands->setDebugBuild(false);
    EXPECT_FALSE(titles(*window).contains("Developer"));
    for (const bool on : {true, false, true}) {
        settings.setDeveloperMode(on);
        // What the bar lets go of is deleted once the event loop runs.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QStringList shown = titles(*window);
        EXPECT_EQ(shown.count("Developer"), on ? 1 : 0);
        if (on) {
            EXPECT_EQ(shown.indexOf("Developer"), shown.indexOf("Stream") + 1);
        }
    }
    QObject* menu = window->findChild<QObject*>("developerMenu");
    // A build for debugging has the menu without developer mode, but none of its items.
    settings.setDeveloperMode(false);
    commands->setDebugBuild(true);
    EXPECT_EQ(titles(*window).count("Developer"), 1);
    ASSERT_TRUE(QMetaObject::invokeMethod(menu, "open"));
    ASSERT_TRUE(eventually([&] { return menu->property("opened").toBool(); }));
    for (const QObject* item : {raw, dataURL, downloads}) {
        EXPECT_FALSE(item->property("visible").toBool()) << item->objectName().toStdString();
    }
    ASSERT_TRUE(QMetaObject::invokeMethod(menu, "close"));
    ASSERT_TRUE(eventually([&] { return !menu->property("visible").toBool(); }));

    settings.setDeveloperMode(true);
    ASSERT_TRUE(QMetaObject::invokeMethod(menu, "open"));
    ASSERT_TRUE(eventually([&] { return raw->property("visible").toBool(); }));
    EXPECT_TRUE(raw->property("enabled").toBool());
    ASSERT_TRUE(QMetaObject::invokeMethod(menu, "close"));
    ASSERT_TRUE(QMetaObject::invokeMethod(raw, "triggered"));
    EXPECT_TRUE(model->captureRawStream());
    EXPECT_TRUE(raw->property("checked").toBool());

    // The flash items need the phone's stream, streaming, and no test running.
    model->runFlashTest();  // without a session: nothing
    EXPECT_EQ(model->flashTest()->stateKind(), FlashTestRunner::StateKind::idle);
    model->apply(DeviceLinkState::connected(phone));
    model->startStream(std::nullopt);
    ASSERT_TRUE(session);
    EXPECT_FALSE(dataURL->property("enabled").toBool());
    session->finishStart();
    EXPECT_TRUE(dataURL->property("enabled").toBool());
    EXPECT_TRUE(downloads->property("enabled").toBool());

    // Asked for from the menu, started from the sheet: the fake session has no clock.
    ASSERT_TRUE(QMetaObject::invokeMethod(dataURL, "triggered"));
    EXPECT_EQ(model->flashTest()->state(),
              FlashTestRunner::State(FlashTestRunner::Confirm{FlashTestRunner::Source::dataURL}));
    const QObject* sheet = window->findChild<QObject*>("flashTestSheet");
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(eventually([&] { return sheet->property("visible").toBool(); }));
    test::click(*window, test::findItem(*window, "startButton"));
    EXPECT_EQ(model->flashTest()->failureMessage(),
              "No clock sync yet. Start a stream and wait a few seconds.");
    EXPECT_TRUE(eventually([&] { return test::isShown(*window, "failure"); }));
}

}  // namespace
}  // namespace qm
