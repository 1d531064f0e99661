#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QQmlEngine>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Errors/ErrorPanelModel.h"
#include "FakeDeviceStates.h"
#include "FakeSession.h"
#include "HUD/PanelPositions.h"
#include "Input/MenuTracking.h"
#include "Model/AppModel.h"
#include "Storage/AppSettings.h"
#include "Support/ManualTimerSource.h"
#include "Updates/AppUpdater.h"
#include "VideoPipeline/View/VideoView.h"
#include "ViewTestEnvironment.h"
#include "ViewTesting.h"
#include "Windows/ButtonReturnKey.h"
#include "Windows/SceneWindows.h"

namespace qm {
namespace {

using test::findItem;
using test::isShown;
using test::textOf;

// A real app model over a fake phone and sessions, in a known state.
class StreamViewsTest : public ::testing::Test {
protected:
    StreamViewsTest() {
        AppModelEnvironment environment = test::viewTestEnvironment(folder, [this](Bytes jar) {
            session = std::make_shared<test::FakeSession>(std::move(jar));
            sessions.push_back(session);
            return session;
        });
        environment.quit = [this] { ++quits; };
        model = std::make_unique<AppModel>(settings, std::move(environment));
    }
    // A launch or a library load left waiting holds its session through its continuation.
    ~StreamViewsTest() override {
        for (const std::shared_ptr<test::FakeSession>& each : sessions) {
            each->cancelPending();
        }
        runPosted();
        model.reset();
        runPosted();
    }
    // A library left while it loads is deleted once its load has ended.
    static void runPosted() {
        for (int hop = 0; hop < 8; ++hop) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // The main window, active, with an updater that has no feed.
    test::ShownWindow showMain() {
        auto window = test::showWindow(engine, "import Vantorel\nMainWindow {}",
                                       {{"model", QVariant::fromValue(model.get())},
                                        {"updater", QVariant::fromValue(&updater)}});
        if (window) {
            window->requestActivate();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }
        return window;
    }

    // The device server's file in the bundle, so that a stream can start.
    void putServerJar() {
        ASSERT_TRUE(QDir(folder.path()).mkpath("bundle"));
        QFile jar(folder.filePath("bundle/quillmere-server.jar"));
        ASSERT_TRUE(jar.open(QIODevice::WriteOnly));
    }

    // The demo's file in the bundle, so that Demo Mode can start.
    void putDemo() {
        ASSERT_TRUE(QDir(folder.path()).mkpath("bundle/Demo"));
        QFile demo(folder.filePath("bundle/Demo/demo.qmstream"));
        ASSERT_TRUE(demo.open(QIODevice::WriteOnly));
    }

    test::ShownWindow show(const QByteArray& body, const QVariantMap& properties) {
        return test::showWindow(
            engine, "import QtQuick\nimport Vantorel\nWindow {\nid: host\n" + body + "}",
            properties);
    }

    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    std::unique_ptr<AppModel> model;
    std::shared_ptr<test::FakeSession> session;
    std::vector<std::shared_ptr<test::FakeSession>> sessions;
    int quits = 0;
    AppUpdater updater{nlohmann::json::object(), store, true};
    QQmlEngine engine;
};

const DeviceInfo phone{"R58M123ABC", "samsung", "SM-G991B", "14", 34};

TEST_F(StreamViewsTest, ConnectScreenFollowsTheDeviceState) {
    auto window = show(R"(
        width: 640; height: 480
        required property AppModelBase model
        ConnectView { anchors.fill: parent; model: host.model }
    )",
                       {{"model", QVariant::fromValue(model.get())}});
    ASSERT_TRUE(window);
    struct Case {
        DeviceLinkState state;
        QString status;
        bool connect;
    };
    for (const Case& c : {
             Case{DeviceLinkState::noDevice(),
                  "Connect your phone with a USB cable. Some cables only charge.", false},
             Case{DeviceLinkState::connected(phone), "samsung SM-G991B · Android 14", true},
             // What the phone says of itself stays on one line, in its own place.
             Case{DeviceLinkState::connected(
                      DeviceInfo{"R58M123ABC", "sam\nsung", "\u202ESM-G991B", "14", 34}),
                  "sam\\nsung \\u202ESM-G991B · Android 14", true},
             Case{DeviceLinkState::busy(), "", false},
             Case{DeviceLinkState::noPermission(UsbAdbDevice{1, "R58M123ABC", "Galaxy S21"}),
                  "Vantorel may not use this phone's USB connection yet. Install the USB rule, "
                  "then plug the phone in again.",
                  false},
             Case{DeviceLinkState::noUsb("/dev/bus/usb is missing"),
                  "Vantorel cannot reach this computer's USB devices, so it cannot find a phone.",
                  false},
             // A lost connection in words; the link's own text is the log's.
             Case{DeviceLinkState::failed(LinkFailure::unplugged, "ADB connection lost: notFound"),
                  "Connection error: The phone was unplugged. Plug it in again.", false},
         }) {
        SCOPED_TRACE(c.status.toStdString());
        model->apply(c.state);
        if (!c.status.isEmpty()) {
            EXPECT_EQ(textOf(findItem(*window, "connectStatus")).toStdString(),
                      c.status.toStdString());
        }
        EXPECT_EQ(isShown(*window, "connect"), c.connect);
    }
    // No demo file in this bundle: no link to it. A failed start shows redacted,
    // in red.
    EXPECT_FALSE(isShown(*window, "tryDemo"));
    EXPECT_FALSE(isShown(*window, "lastError"));
    model->startDemo(std::nullopt);
    ASSERT_TRUE(isShown(*window, "lastError"));
    EXPECT_FALSE(textOf(findItem(*window, "lastError")).contains("alice"));
}

TEST_F(StreamViewsTest, ErrorPanelShowsOneButtonPerActionAndKeepsCopiedForAnEqualFailure) {
    model->apply(DeviceLinkState::connected(phone));
    ErrorPanelModel panel;
    panel.setModel(model.get());
    const ErrorPresentation three{
        "Something went wrong.",
        "R58M123abc in /home/alice/x",
        {ErrorAction::retry, ErrorAction::copyDiagnostics, ErrorAction::backToLibrary}};
    panel.setPresentation(three);
    auto window = show(R"(
        width: 640; height: 480
        required property ErrorPanelModel panel
        ErrorPanel { panelModel: host.panel }
    )",
                       {{"panel", QVariant::fromValue(&panel)}});
    ASSERT_TRUE(window);
    const auto buttons = [&] {
        QStringList shown;
        for (const char* action : {"retry", "copyDiagnostics", "backToLibrary"}) {
            if (QQuickItem* button = findItem(*window, QString("action:") + action)) {
                shown << textOf(button);
            }
        }
        return shown.join("|").toStdString();
    };
    EXPECT_EQ(buttons(), "Try Again|Copy Diagnostics|Back to Library");
    EXPECT_EQ(textOf(findItem(*window, "errorDetail")).toStdString(), "<serial> in /home/<user>/x");

    test::click(*window, findItem(*window, "action:copyDiagnostics"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.copied(); }));
    EXPECT_EQ(buttons(), "Try Again|Copied|Back to Library");
    panel.setPresentation(three);
    EXPECT_EQ(buttons(), "Try Again|Copied|Back to Library");

    // A stream failed for good waits for no phone: it is offered again.
    panel.setPhase(SessionPhase::failed(SessionFailure::disconnected()));
    EXPECT_EQ(buttons(), "Try Again|Back to Library");
    EXPECT_FALSE(panel.copied());
    EXPECT_FALSE(isShown(*window, "errorDetail"));
}

TEST_F(StreamViewsTest, ReturnPressesTheDefaultButtonOfTheScreenWhereverItIsPlaced) {
    putServerJar();
    // The connect screen in a loader, as the root view places it.
    auto connect = show(R"(
        width: 640; height: 480
        required property AppModelBase model
        Loader { anchors.fill: parent; sourceComponent: ConnectView { model: host.model } }
    )",
                        {{"model", QVariant::fromValue(model.get())}});
    ASSERT_TRUE(connect);
    QTest::keyClick(connect.get(), Qt::Key_Return);
    EXPECT_FALSE(session) << "no Connect without a phone";
    model->apply(DeviceLinkState::connected(phone));
    QTest::keyClick(connect.get(), Qt::Key_Return);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->starts.size(), 1u);
    connect.reset();

    // The error panel over the stream view, which keeps the keys.
    auto window = showMain();
    ASSERT_TRUE(window);
    session->finishStart(SessionPhase::failed(SessionFailure::decoderFailed()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return isShown(*window, "action:retry"); }));
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(session->starts.size(), 2u);
    session->finishStart(SessionPhase::failed(SessionFailure::decoderFailed()));
    QTest::keyClick(window.get(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(session->starts.size(), 3u);
    // A failure that cannot be tried again has no default.
    session->finishStart(SessionPhase::failed(SessionFailure::versionMismatch()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isShown(*window, "action:retry"); }));
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(session->starts.size(), 3u);
    EXPECT_EQ(model->routeKind(), AppModel::RouteKind::stream);
}

TEST_F(StreamViewsTest,
       TabReachesBackToLibraryWithAVisibleRingWhileThePhoneIsAwayOrAfterTheStream) {
    const ButtonReturnKey returnKey;
    putServerJar();
    model->apply(DeviceLinkState::connected(phone));
    auto window = showMain();
    ASSERT_TRUE(window);
    model->openGame("com.game");
    ASSERT_TRUE(QTest::qWaitFor([&] { return session && !session->starts.empty(); }));
    session->finishStart(SessionPhase::streaming());
    // Tab until the button has the keys, a ring drawn around it.
    const auto tabTo = [&](const QString& name) {
        for (int stops = 0; stops < 8 && window->activeFocusItem()->objectName() != name; ++stops) {
            QTest::keyClick(window.get(), Qt::Key_Tab);
        }
        QQuickItem* focused = window->activeFocusItem();
        return focused->objectName() == name && findItem(focused, "focusRing")->isVisible();
    };

    session->setPhase(SessionPhase::waitingForDevice());
    ASSERT_TRUE(isShown(*window, "reconnect"));
    EXPECT_TRUE(tabTo("backToLibrary"));
    // The stream kept breaking off.
    session->setPhase(SessionPhase::failed(SessionFailure::disconnected()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return isShown(*window, "action:backToLibrary"); }));
    EXPECT_TRUE(tabTo("action:backToLibrary"));
    // Return is the focused button's, not the panel's default, Try Again, which would stay.
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_NE(model->routeKind(), AppModel::RouteKind::stream);
    session->finishStop();
}

TEST_F(StreamViewsTest, KeyMappingsWarningShowsWhereReturnGoes) {
    auto window = show(R"(
        width: 640; height: 480
        EmulatorWarningDialog { Component.onCompleted: open() }
    )",
                       {});
    ASSERT_TRUE(window);
    QQuickItem* carryOn = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        carryOn = findItem(*window, "continueButton");
        return carryOn && carryOn->hasActiveFocus();
    }));
    EXPECT_TRUE(findItem(carryOn, "focusRing")->isVisible());
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !carryOn->isVisible(); }));
}

TEST_F(StreamViewsTest, EscapeLeavesTheIPhoneScreenOpenedFromItsRow) {
    auto window = showMain();
    ASSERT_TRUE(window);
    model->iphonesChanged({{"no-such-camera", "Anna's iPhone"}});
    QQuickItem* row = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        row = findItem(*window, "iphoneRow:no-such-camera");
        return row && row->isVisible();
    }));
    test::click(*window, findItem(row, "showIPhone"));
    ASSERT_EQ(model->routeKind(), AppModel::RouteKind::iphone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isShown(*window, "IPhoneSurface"); }));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_NE(model->routeKind(), AppModel::RouteKind::iphone);
}

TEST_F(StreamViewsTest, StreamOverlayShowsWhatThePhaseNeeds) {
    auto window = show(R"(
        width: 640; height: 480
        required property AppModelBase model
        property var phase
        StreamOverlay { anchors.fill: parent; model: host.model; phase: host.phase }
    )",
                       {{"model", QVariant::fromValue(model.get())},
                        {"phase", QVariant::fromValue(SessionPhase::idle())}});
    ASSERT_TRUE(window);
    struct Case {
        SessionPhase phase;
        const char* shown;
    };
    for (const Case& c : {Case{SessionPhase::idle(), ""}, Case{SessionPhase::streaming(), ""},
                          Case{SessionPhase::starting(), "starting"},
                          Case{SessionPhase::waitingForDevice(), "reconnect"},
                          Case{SessionPhase::failed(SessionFailure::decoderFailed()), "failed"}}) {
        SCOPED_TRACE(c.shown);
        window->setProperty("phase", QVariant::fromValue(c.phase));
        for (const char* overlay : {"starting", "reconnect", "errorMessage"}) {
            const bool expected =
                QString(c.shown) == overlay ||
                (QString(c.shown) == "failed" && QString(overlay) == "errorMessage");
            EXPECT_EQ(isShown(*window, overlay), expected) << overlay;
        }
    }
}

TEST_F(StreamViewsTest, AnotherGameGetsANewVideoViewAndUpscalingKeepsIt) {
    test::FakeSession shown;
    auto window = show(R"(
        width: 640; height: 480
        required property AppModelBase model
        required property StreamingSession session
        property string game: "com.example.one"
        StreamView { anchors.fill: parent; model: host.model; session: host.session; packageName: host.game }
    )",
                       {{"model", QVariant::fromValue(model.get())},
                        {"session", QVariant::fromValue(static_cast<StreamingSession*>(&shown))}});
    ASSERT_TRUE(window);
    const auto video = [&] { return qobject_cast<VideoView*>(findItem(*window, "streamVideo")); };
    VideoView* first = video();
    ASSERT_TRUE(first);
    EXPECT_EQ(shown.attached, std::vector<VideoView*>{first});

    settings.setGpuUpscaling(true);
    settings.setSharpness(0.4);
    EXPECT_EQ(video(), first);
    EXPECT_TRUE(first->upscale().enabled);
    EXPECT_DOUBLE_EQ(first->upscale().sharpness, 0.4);
    EXPECT_EQ(shown.attached.size(), 1u);

    window->setProperty("game", "com.example.two");
    ASSERT_TRUE(QTest::qWaitFor([&] { return video() && video() != first; }));
    EXPECT_EQ(shown.attached.back(), video());
    EXPECT_TRUE(video()->upscale().enabled);
}

TEST_F(StreamViewsTest, UpscalingRowsAreDisabledWithoutSupportAndSayWhy) {
    struct Case {
        bool supported;
        bool software;
        const char* note;
    };
    for (const Case& c :
         {Case{true, false, "already scales"}, Case{false, false, "this PC's graphics"},
          Case{false, true, "draws in software"}}) {
        const bool supported = c.supported;
        SCOPED_TRACE(c.note);
        settings.setGpuUpscaling(false);
        auto window = show(R"(
            width: 480; height: 640
            required property AppSettings settings
            required property bool supported
            required property bool software
            SettingsView {
                settings: host.settings; upscalingSupported: host.supported
                softwareRendering: host.software
            }
        )",
                           {{"settings", QVariant::fromValue(&settings)},
                            {"supported", supported},
                            {"software", c.software}});
        ASSERT_TRUE(window);
        EXPECT_EQ(findItem(*window, "gpuUpscaling")->isEnabled(), supported);
        EXPECT_TRUE(
            findItem(*window, "gpuUpscaling")->property("note").toString().contains(c.note));
        EXPECT_FALSE(findItem(*window, "sharpness")->isEnabled());
        // Without support the upscaling note has said why: no second line says it again.
        EXPECT_EQ(isShown(*window, "sharpnessReason"), supported);
        settings.setGpuUpscaling(true);
        EXPECT_EQ(findItem(*window, "gpuUpscalingSwitch")->property("checked").toBool(), supported)
            << "shown as drawn";
        EXPECT_EQ(findItem(*window, "sharpness")->isEnabled(), supported);
        EXPECT_FALSE(isShown(*window, "sharpnessReason"));
    }
}

TEST_F(StreamViewsTest, OnAShortScreenTabScrollsTheSettingsToEveryControl) {
    settings.setStreamFrameRate(StreamFrameRateOption::phoneMaximum);
    // A screen too short for the whole form.
    auto window = test::showWindow(engine, "import Vantorel\nSettingsWindow { screenRoom: 480 }",
                                   {{"settings", QVariant::fromValue(&settings)}});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->height(), 480 - 64);
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(test::waitForFrame(*window));

    const auto* shownChoice =
        findItem(*window, "streamFrameRate")->property("contentItem").value<QQuickItem*>();
    ASSERT_TRUE(shownChoice);
    EXPECT_GE(shownChoice->width(), shownChoice->implicitWidth()) << "Phone maximum is cut";

    QStringList reached;
    for (int press = 0; press < 12 && !reached.contains("streamResolution"); ++press) {
        QTest::keyClick(window.get(), Qt::Key_Tab);
        const QQuickItem* focus = window->activeFocusItem();
        ASSERT_TRUE(focus);
        reached << focus->objectName();
        const QRectF place = focus->mapRectToScene(focus->boundingRect());
        EXPECT_GE(place.top(), 0) << reached.join(' ').toStdString();
        EXPECT_LE(place.bottom(), window->height()) << reached.join(' ').toStdString();
    }
    EXPECT_TRUE(reached.contains("streamFrameRate")) << reached.join(' ').toStdString();
    EXPECT_TRUE(reached.contains("streamResolution")) << reached.join(' ').toStdString();
}

TEST_F(StreamViewsTest, TheRecordingLayerSitsAtTheTopTrailingCornerOfALiveStream) {
    putServerJar();
    model->apply(DeviceLinkState::connected(phone));
    model->startStream(std::nullopt);
    ASSERT_TRUE(session);
    auto window = show(R"(
        width: 640; height: 480
        required property AppModelBase model
        StreamView { anchors.fill: parent; model: host.model; session: host.model.session; packageName: "" }
    )",
                       {{"model", QVariant::fromValue(model.get())}});
    ASSERT_TRUE(window);
    EXPECT_FALSE(isShown(*window, "recordPanel"));  // still starting

    session->finishStart();
    ASSERT_TRUE(isShown(*window, "recordPanel"));
    const QQuickItem* panel = findItem(*window, "recordPanel");
    const auto corner = [&] { return panel->mapRectToScene(panel->boundingRect()).topRight(); };
    // The stream asks for full screen, which a window manager may grant while this waits.
    const auto viewCorner = [&] { return QPointF(window->contentItem()->width() - 12, 12); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return corner() == viewCorner(); }))
        << corner().x() << "," << corner().y() << " in a view " << window->width() << " wide";
    // A picture narrower than the view has black bars beside it: the dark panel stays off them.
    session->setVideoGeometry(VideoGeometry({1080, 1080}, {80, 0, 480, 480}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return corner() == QPointF(548, 12); }))
        << corner().x() << "," << corner().y();
    test::click(*window, findItem(*window, "recordButton"));
    EXPECT_EQ(session->recordings.size(), 1u);
    EXPECT_TRUE(isShown(*window, "pill"));
    // Dragged far to the right in a larger window, it stays in sight, its bars counted in.
    model->panelPositions()->set({3000, -3000}, PanelPositions::Panel::recording);
    const QQuickItem* pill = findItem(*window, "pill");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return test::waitForFrame(*window) &&
               test::inSight(*window, *pill, PanelPositions::panelMargin);
    }));
}

TEST_F(StreamViewsTest, MenuShortcutsFireWithTheirMenusClosed) {
    putDemo();
    auto window = showMain();
    ASSERT_TRUE(window);
    const auto press = [&](const char* keys) {
        QTest::keySequence(window.get(), QKeySequence(QString::fromLatin1(keys)));
    };

    press("Meta+Shift+D");
    ASSERT_TRUE(QTest::qWaitFor([&] { return session && session->demos.size() == 1; }));
    EXPECT_EQ(model->routeKind(), AppModel::RouteKind::stream);
    press("Meta+Shift+M");
    EXPECT_TRUE(session->isAudioMuted());
    const HUDStyle hud = settings.hudStyle();
    press("Meta+Shift+H");
    EXPECT_NE(settings.hudStyle(), hud);
    // The demo cannot record, and says so while it plays.
    press("Meta+R");
    EXPECT_TRUE(session->recordings.empty());
    EXPECT_TRUE(isShown(*window, "errorPanel"));

    press("Meta+,");
    QQuickWindow* settingsWindow = nullptr;
    for (auto* child : window->findChildren<QQuickWindow*>()) {
        if (child->title() == "Settings") {
            settingsWindow = child;
        }
    }
    ASSERT_TRUE(settingsWindow);
    ASSERT_TRUE(QTest::qWaitFor([&] { return settingsWindow->isVisible(); }));
    settingsWindow->close();
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    press("Meta+W");
    EXPECT_EQ(model->sessionObject(), nullptr);
    EXPECT_NE(model->routeKind(), AppModel::RouteKind::stream);
    EXPECT_FALSE(isShown(*window, "errorPanel"));
    session->finishStop();
    // Last: nothing starts once the app quits.
    press("Meta+Q");
    EXPECT_EQ(quits, 1);
}

// The item of the menu with that text; null when there is none.
QQuickItem* menuItem(QObject* menu, const QString& text) {
    for (int i = 0; i < menu->property("count").toInt(); ++i) {
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, i));
        if (item && item->property("text").toString() == text) {
            return item;
        }
    }
    return nullptr;
}

// What an item of the menu with that text shows as its shortcut; null when there is no item.
std::optional<QString> shortcutShown(QObject* menu, const QString& text) {
    if (QQuickItem* item = menuItem(menu, text)) {
        return item->property("shortcutText").toString();
    }
    return std::nullopt;
}

TEST_F(StreamViewsTest, MenusShowShortcutsAndOpenFromTheKeyboard) {
    putDemo();
    auto window = showMain();
    ASSERT_TRUE(window);

    const QList<QObject*> menus = test::menuBarMenus(*window);
    ASSERT_GE(menus.size(), 4);
    for (QObject* menu : menus) {
        EXPECT_TRUE(menu->property("title").toString().startsWith('&'))
            << menu->property("title").toString().toStdString();
    }
    const std::pair<const char*, const char*> shown[] = {
        {"Quit Vantorel", "Super+Q"}, {"Settings…", "Super+,"}, {"About Vantorel", ""}};
    for (const auto& [text, shortcut] : shown) {
        EXPECT_EQ(shortcutShown(menus[0], text), QString(shortcut)) << text;
    }
    // Without an update feed it stays, disabled.
    QQuickItem* checkForUpdates = menuItem(menus[0], "Check for Updates…");
    ASSERT_TRUE(checkForUpdates);
    EXPECT_FALSE(checkForUpdates->isEnabled());
    EXPECT_EQ(shortcutShown(menus[1], "Demo Mode"), "Super+Shift+D");
    EXPECT_EQ(shortcutShown(menus[2], "Close Stream"), "Super+W");

    // F10 opens the first menu, Alt and a title's letter its menu.
    const auto opens = [&](int key, Qt::KeyboardModifiers modifiers, QObject* menu) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
        const bool opened = QTest::qWaitFor([&] { return menu->property("opened").toBool(); });
        QMetaObject::invokeMethod(menu, "close");
        return opened && QTest::qWaitFor([&] { return !menu->property("visible").toBool(); });
    };
    EXPECT_TRUE(opens(Qt::Key_F10, Qt::NoModifier, menus[0]));
    EXPECT_TRUE(opens(Qt::Key_S, Qt::AltModifier, menus[2]));

    // F10 lights the first item, and the arrows to the next menu its first: Return acts at
    // once. A menu opened with the pointer afterwards lights none.
    const auto lit = [&](QObject* menu) {
        return QTest::qWaitFor([&] { return menu->property("opened").toBool(); })
                   ? menu->property("currentIndex").toInt()
                   : -2;
    };
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_EQ(lit(menus[0]), 0);
    // The arrows go around past either end, and pass the disabled item and the separator.
    const auto litText = [&](QObject* menu) {
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item),
                                  Q_ARG(int, menu->property("currentIndex").toInt()));
        return item ? item->property("text").toString() : QString();
    };
    for (const auto& [key, text] :
         {std::pair{Qt::Key_Up, "Quit Vantorel"}, std::pair{Qt::Key_Down, "About Vantorel"},
          std::pair{Qt::Key_Down, "Settings…"}, std::pair{Qt::Key_Up, "About Vantorel"}}) {
        QTest::keyClick(window.get(), key);
        EXPECT_EQ(litText(menus[0]), text);
    }
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(lit(menus[1]), 0);
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return session && session->demos.size() == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !menus[1]->property("visible").toBool(); }));
    QQuickItem* title = nullptr;
    QMetaObject::invokeMethod(window->property("menuBar").value<QObject*>(), "itemAt",
                              Q_RETURN_ARG(QQuickItem*, title), Q_ARG(int, 2));
    ASSERT_TRUE(title);
    test::click(*window, title);
    EXPECT_EQ(lit(menus[2]), -1);
    QMetaObject::invokeMethod(menus[2], "close");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !menus[2]->property("visible").toBool(); }));

    // The Developer menu, put in after the bar was made, is lit as the others, and lets a stream
    // go as they do.
    // A debug build shows it from the start.
    settings.setDeveloperMode(true);
    QObject* developer = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QList<QObject*> now = test::menuBarMenus(*window);
        developer = now.size() > 3 ? now.at(3) : nullptr;
        return developer && developer->objectName() == "developerMenu";
    }));
    QSignalSpy willShow(&MenuTracking::shared(), &MenuTracking::menuWillShow);
    QTest::keyClick(window.get(), Qt::Key_F10);
    for (int step = 0; step < 3; ++step) {
        QTest::keyClick(window.get(), Qt::Key_Right);
    }
    EXPECT_EQ(lit(developer), 0);
    EXPECT_EQ(willShow.size(), 4);
    QMetaObject::invokeMethod(developer, "close");
}

// Over a stream every key but the menus' is the game's: the Stream menu answers the overheating
// card and the notices, and a notice gone leaves the toolbar where the pointer saw it.
TEST_F(StreamViewsTest, TheStreamMenuAnswersTheCardAndTheNoticesWhoseRoomStaysUntilAResize) {
    putDemo();
    auto window = showMain();
    ASSERT_TRUE(window);
    QTest::keySequence(window.get(), QKeySequence("Meta+Shift+D"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return session && session->demos.size() == 1; }));
    session->request = StreamRequest{"", ServerOptions(1), InputMode::keyboardMouse};
    session->request->options.maxSize = 1920;
    const auto thermal = [&](int status) {
        SessionStats stats(60, 40, 0, PhoneTelemetry{});
        stats.telemetry->thermalStatus = status;
        session->setStats(stats);
        session->setPhase(SessionPhase::streaming());
    };
    thermal(0);
    emit session->soundUnavailable();
    QQuickItem* toolbar = findItem(*window, "streamToolbar");
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return isShown(*window, "soundProblem") && toolbar && toolbar->isVisible() &&
               test::waitForFrame(*window);
    }));
    const QPointF toolbarAt = toolbar->mapToScene({0, 0});
    // F10, the arrows to the Stream menu and down its items to that one, and Return.
    const auto choose = [&](const QString& text) {
        SCOPED_TRACE(text.toStdString());
        QTest::keyClick(window.get(), Qt::Key_F10);
        QObject* menu = test::menuBarMenus(*window).at(2);
        QTest::keyClick(window.get(), Qt::Key_Right);
        QTest::keyClick(window.get(), Qt::Key_Right);
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->property("opened").toBool(); }));
        const auto current = [&] {
            QQuickItem* item = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item),
                                      Q_ARG(int, menu->property("currentIndex").toInt()));
            return item ? item->property("text").toString() : QString();
        };
        for (int steps = 0; current() != text && steps < 20; ++steps) {
            QTest::keyClick(window.get(), Qt::Key_Down);
        }
        ASSERT_EQ(current(), text);
        QTest::keyClick(window.get(), Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->property("visible").toBool(); }));
    };

    choose("Hide Notices");
    EXPECT_FALSE(isShown(*window, "soundProblem"));
    ASSERT_TRUE(test::waitForFrame(*window));
    EXPECT_EQ(toolbar->mapToScene({0, 0}), toolbarAt);

    thermal(2);
    ASSERT_TRUE(isShown(*window, "thermalBanner"));
    choose("Overheating: Not Now");
    EXPECT_FALSE(isShown(*window, "thermalBanner"));
    EXPECT_TRUE(session->restarts.empty());
    thermal(1);
    thermal(3);
    ASSERT_TRUE(isShown(*window, "thermalBanner"));
    choose("Overheating: 1920 px, 30 fps");
    ASSERT_EQ(session->restarts.size(), 1u);
    EXPECT_EQ(session->restarts[0].maxSize, 1920);
    EXPECT_EQ(session->restarts[0].maxFps, 30);
    EXPECT_FALSE(isShown(*window, "thermalBanner"));
    // The recording's message too, which says the demo cannot be recorded.
    model->toggleRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return isShown(*window, "errorPanel"); }));
    choose("Recording: Dismiss");
    EXPECT_FALSE(isShown(*window, "errorPanel"));

    window->resize(window->size() + QSize(0, 40));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return toolbar->mapToScene({0, 0}).y() < toolbarAt.y();
    })) << "the room goes once the window changes anyway";
}

TEST_F(StreamViewsTest, SecondaryWindowsOpenCentredOverTheMainWindowAndEscapeClosesThem) {
    auto window = showMain();
    ASSERT_TRUE(window);
    const auto titled = [&](const QString& title) -> QQuickWindow* {
        for (auto* child : window->findChildren<QQuickWindow*>()) {
            if (child->title() == title) {
                return child;
            }
        }
        return nullptr;
    };
    for (const char* title : {"Settings", "About Vantorel", "Vantorel Guide"}) {
        SCOPED_TRACE(title);
        QQuickWindow* shown = titled(title);
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->transientParent(), window.get());
        SceneWindows::bringForward(shown);
        // A transient window counts as active while its parent has the focus.
        ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == shown; }));
        const QPoint offset = shown->geometry().center() - window->geometry().center();
        EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
        QTest::keyClick(shown, Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !shown->isVisible(); }));
    }

    // The library names the window.
    EXPECT_EQ(window->title(), "Vantorel");
    model->apply(DeviceLinkState::connected(phone));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->title() == "Games"; }));
}

}  // namespace
}  // namespace qm
