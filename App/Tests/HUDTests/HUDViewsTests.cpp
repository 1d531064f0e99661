#include <QColor>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "Editor/KeymapController.h"
#include "FakeSession.h"
#include "HUD/HUDLayerModel.h"
#include "HUD/PanelPositions.h"
#include "HUD/StreamToolbarModel.h"
#include "Input/InputCapture.h"
#include "Input/OverlayFrameRegistry.h"
#include "InputRouter/KeymapFile.h"
#include "InputRouter/ProfileTemplates.h"
#include "Storage/AppSettings.h"
#include "Support/ManualTimerSource.h"
#include "ViewTesting.h"
#include "WorkerResults.h"
#include "XTestInput.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class NoChooser : public KeymapFileChooser {
public:
    void chooseFileToOpen(Answer) override {}
    void chooseFileToSave(const QString&, SaveAnswer) override {}
    void askToReplace(const std::filesystem::path&, SaveAnswer) override {}
    void reject() override {}
};

// What a stream window's input coordinator hears of its capture: here only the shortcuts.
class ShortcutClient final : public InputCapture::Client {
public:
    bool isKeyWindow() const override { return true; }
    bool isCursorCaptured() const override { return false; }
    std::optional<QPointF> lockedMotion(QPointF) override { return std::nullopt; }
    bool isStreaming() const override { return true; }
    bool passKeysThrough(std::uint16_t, KeyModifiers) const override { return false; }
    bool rawMouseActive() override { return false; }
    const QList<QRectF>& overlayFrames() const override { return frames; }
    bool takesPresses() const override { return false; }
    void onEvent(const InputEvent& event) override { events.push_back(event); }
    void onShortcut(const InputCapture::Shortcut& shortcut) override {
        shortcuts.push_back(shortcut);
    }
    void onCommandKey(bool) override {}
    void onInput() override {}
    void onDesktopKey(std::uint32_t, DesktopChord, bool, std::uint32_t) override {}
    void onDisplayTime(std::uint32_t) override {}
    bool tooLate(std::uint32_t, std::optional<std::uint32_t>) override { return false; }

    QList<QRectF> frames;
    std::vector<InputEvent> events;
    std::vector<InputCapture::Shortcut> shortcuts;
};

// Every item of that name under `root`, in tree order.
void collect(QQuickItem* root, const QString& name, std::vector<QQuickItem*>& found) {
    if (root->objectName() == name) {
        found.push_back(root);
    }
    for (QQuickItem* child : root->childItems()) {
        collect(child, name, found);
    }
}

class HUDViewsTest : public ::testing::Test {
protected:
    HUDViewsTest() {
        GameKeymaps keymaps{"com.game", {}};
        for (const char* name : {"Main", "Layout 2"}) {
            keymaps.layouts.push_back(
                {UUID::random(), name, std::nullopt, ProfileTemplates::moba("com.game")});
        }
        std::filesystem::create_directories(profiles.directory);
        KeymapFile::write(profiles.fileURL("com.game"), keymaps);
        keymap.setOnLayoutRequest([this](std::size_t index) { layoutRequests.push_back(index); });

        hud.setSettings(&settings);
        hud.setSession(&session);
        toolbar.setSettings(&settings);
        session.request = StreamRequest{"com.game", ServerOptions(1), InputMode::keymap};
        session.request->options.maxSize = 1920;

        window = test::showWindow(engine, R"(
            import QtQuick
            import Vantorel
            Window {
                id: root
                width: 800; height: 450
                color: "#3060c0"
                required property HUDLayerModel hud
                required property StreamToolbarModel toolbar
                required property PanelPositions positions
                required property OverlayFrameRegistry frames
                StreamToolbar {
                    id: bar
                    objectName: "toolbarLayer"
                    upscalingSupported: true
                    visible: root.hud.shown
                    toolbar: root.toolbar; positions: root.positions; overlayFrames: root.frames
                    area: Qt.rect(0, 0, root.width, root.height)
                }
                HUDLayer {
                    hudModel: root.hud; positions: root.positions; overlayFrames: root.frames
                    area: Qt.rect(0, 0, root.width, root.height)
                    toolbarSize: bar.barSize
                }
            })",
                                  {{"hud", QVariant::fromValue(&hud)},
                                   {"toolbar", QVariant::fromValue(&toolbar)},
                                   {"positions", QVariant::fromValue(&positions)},
                                   {"frames", QVariant::fromValue(&frames)}});
    }

    QQuickItem* item(const char* name) const { return test::findItem(*window, name); }
    std::vector<QQuickItem*> all(const char* name) const {
        std::vector<QQuickItem*> found;
        collect(window->contentItem(), name, found);
        return found;
    }
    // Clicks once the next frame has laid the item out where it is drawn.
    void click(QQuickItem* target) {
        ASSERT_TRUE(target);
        ASSERT_TRUE(test::waitForFrame(*window));
        test::click(*window, target);
    }
    void stream(double fps, double latency, int thermalStatus) {
        SessionStats stats(fps, latency, 0, PhoneTelemetry{});
        stats.telemetry->thermalStatus = thermalStatus;
        stats.decoder = DecoderKind::vaapi;
        session.setStats(stats);
        session.setPhase(SessionPhase::streaming());
    }
    QObject* modeMenu() const { return item("modeMenuButton")->findChild<QObject*>("modeMenu"); }
    std::vector<QQuickItem*> menuItems() const {
        std::vector<QQuickItem*> items;
        QObject* menu = modeMenu();
        for (int i = 0; i < menu->property("count").toInt(); ++i) {
            QQuickItem* entry = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, entry),
                                      Q_ARG(int, i));
            items.push_back(entry);
        }
        return items;
    }

    QTemporaryDir folder;
    QSettings store{folder.filePath("settings.ini"), QSettings::IniFormat};
    AppSettings settings{store};
    PanelPositions positions{store};
    OverlayFrameRegistry frames;
    test::ManualTimerSource timers;
    std::chrono::steady_clock::time_point now{10s};
    test::FakeSession session;
    HUDLayerModel hud{timers, [this] { return now; }};
    StreamToolbarModel toolbar;
    ProfileStore profiles{std::filesystem::path(folder.path().toStdString()) / "Profiles"};
    NoChooser chooser;
    KeymapController keymap{"com.game", profiles, chooser};
    std::vector<std::size_t> layoutRequests;
    QQmlEngine engine;
    test::ShownWindow window;
};

TEST_F(HUDViewsTest, FullRowsAndTheCompactLineSwapOnAClick) {
    ASSERT_TRUE(window);
    session.setPhase(SessionPhase::starting());
    EXPECT_FALSE(test::isShown(*window, "hudPanel"));
    EXPECT_FALSE(test::isShown(*window, "streamToolbar"));
    settings.setHudStyle(HUDStyle::full);
    stream(60, 100.4, 0);

    std::vector<QString> titles;
    for (QQuickItem* title : all("hudTitle")) {
        titles.push_back(test::textOf(title));
    }
    EXPECT_EQ(titles, (std::vector<QString>{"FPS", "Stream latency", "Phone + PC", "Phone encode",
                                            "Temperature", "Throttling", "Battery", "Decoder"}));
    const std::vector<QQuickItem*> values = all("hudValue");
    ASSERT_EQ(values.size(), 8u);
    EXPECT_EQ(test::textOf(values[1]), "100 ms");
    EXPECT_EQ(test::textOf(values[7]), "VAAPI");
    EXPECT_EQ(values[1]->property("color").value<QColor>(), QColor("orange"));
    EXPECT_EQ(values[0]->property("color").value<QColor>(), QColor("white"));

    click(item("hudPanel"));
    EXPECT_EQ(store.value("hudStyle").toString(), "compact");
    ASSERT_TRUE(test::isShown(*window, "compactText"));
    EXPECT_FALSE(test::isShown(*window, "hudView"));
    EXPECT_EQ(test::textOf(item("compactText")), "60 fps \u00b7 100 ms");
    EXPECT_NE(item("compactText")->property("color").value<QColor>().rgb(), QColor("orange").rgb());
    click(item("hudPanel"));
    EXPECT_EQ(settings.hudStyle(), HUDStyle::full);
    EXPECT_TRUE(test::isShown(*window, "hudView"));

    // The panel sits after the toolbar, both 12 px inside the corner and top-aligned.
    const QPointF bar = item("streamToolbar")->mapToScene({0, 0});
    const QPointF panel = item("hudPanel")->mapToScene({0, 0});
    EXPECT_EQ(bar, QPointF(12, 12));
    EXPECT_EQ(panel, QPointF(12 + item("streamToolbar")->width() + 8, 12));
    EXPECT_EQ(frames.frames().size(), 2);
}

TEST_F(HUDViewsTest, PanelsStoredFarOutsideASmallAreaAreShownInsideIt) {
    ASSERT_TRUE(window);
    settings.setHudStyle(HUDStyle::full);
    stream(60, 20, 0);
    // Dragged apart in a full screen much larger than this window.
    const QSizeF hudStored(3000, 2000);
    positions.set(hudStored, PanelPositions::Panel::hud);
    positions.set({-3000, 2000}, PanelPositions::Panel::toolbar);
    for (const char* name : {"hudPanel", "streamToolbar"}) {
        QQuickItem* panel = item(name);
        ASSERT_TRUE(panel) << name;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return test::waitForFrame(*window) &&
                   test::inSight(*window, *panel, PanelPositions::panelMargin);
        })) << name;
    }
    EXPECT_EQ(positions.offset(PanelPositions::Panel::hud), hudStored) << "stored as it was";
}

TEST_F(HUDViewsTest, BannerButtonsApplyOrDismiss) {
    ASSERT_TRUE(window);
    stream(60, 40, 0);
    stream(60, 40, 2);
    ASSERT_TRUE(test::isShown(*window, "thermalBanner"));
    EXPECT_EQ(test::textOf(item("bannerTitle")), "The phone is overheating (throttling 2/6).");
    const std::vector<QQuickItem*> options = all("bannerOption");
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(test::textOf(options[0]), "1600 px, 60 fps");
    click(options[0]);
    ASSERT_EQ(session.restarts.size(), 1u);
    EXPECT_EQ(session.restarts[0].maxSize, 1600);
    EXPECT_FALSE(test::isShown(*window, "thermalBanner"));

    stream(60, 40, 1);
    stream(60, 40, 3);
    ASSERT_TRUE(test::isShown(*window, "thermalBanner"));
    click(item("notNow"));
    EXPECT_FALSE(test::isShown(*window, "thermalBanner"));
    EXPECT_EQ(session.restarts.size(), 1u);
}

TEST_F(HUDViewsTest, ToolbarSwitchesAndTheModeMenu) {
    ASSERT_TRUE(window);
    stream(60, 40, 0);
    const auto pictureSegments = [&] {
        std::vector<bool> enabled;
        for (QQuickItem* segment : test::shownItems(item("picturePicker"), "segment")) {
            enabled.push_back(segment->isEnabled());
        }
        return enabled;
    };
    EXPECT_EQ(pictureSegments(), (std::vector<bool>{true, true}));
    settings.setPicturePreset(PicturePreset::high);
    item("toolbarLayer")->setProperty("upscalingSupported", false);
    EXPECT_EQ(pictureSegments(), (std::vector<bool>{false, true})) << "only High is out of reach";
    EXPECT_TRUE(test::shownItems(item("picturePicker"), "segment")[1]->property("checked").toBool())
        << "a stored High this PC cannot draw shows as Low";

    QQuickItem* menuButton = item("modeMenuButton");
    EXPECT_FALSE(menuButton->isEnabled());
    EXPECT_EQ(test::textOf(item("modeIndicator")), "Control Mode");
    toolbar.setCanRequestMode(true);
    toolbar.setKeymap(&keymap);
    keymap.setInputMode(InputMode::keyboardMouse);
    keymap.loadActiveKeymaps();
    test::settleWorkers();
    EXPECT_EQ(test::textOf(item("modeIndicator")), "Keyboard & Mouse");
    // Its tooltip goes as the window changes state, the pointer at rest on the button.
    QObject* tip = window->findChild<QObject*>("modeTip");
    ASSERT_TRUE(tip);
    QTest::mouseMove(window.get(), menuButton->mapToScene(QPointF(4, 4)).toPoint());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip->property("opened").toBool(); }));
    window->showFullScreen();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !tip->property("visible").toBool(); }));
    window->showNormal();
    click(menuButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return modeMenu()->property("opened").toBool(); }));
    EXPECT_EQ(menuItems().size(), 4u);  // the two modes, the section hidden
    EXPECT_TRUE(menuItems()[0]->property("checked").toBool()) << "the mode in use is ticked";
    EXPECT_FALSE(menuItems()[1]->property("checked").toBool());

    keymap.setInputMode(InputMode::keymap);
    keymap.setActiveLayoutIndex(1);
    EXPECT_EQ(test::textOf(item("modeIndicator")), "Key Mapping \u00b7 Layout 2 (2)");
    std::vector<QQuickItem*> entries = menuItems();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_TRUE(entries[3]->isVisible());
    EXPECT_EQ(entries[4]->property("text").toString(), "Main");
    EXPECT_EQ(entries[4]->property("shortcutText").toString(), "Ctrl+Super+1");
    EXPECT_FALSE(entries[4]->property("checked").toBool());
    EXPECT_TRUE(entries[5]->property("checked").toBool());
    click(entries[4]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !modeMenu()->property("visible").toBool(); }));
    // With the menu closed, and no stream input in front of it, the shortcut still works.
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_2, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(layoutRequests, (std::vector<std::size_t>{0, 1}));

    keymap.beginEditing();
    entries = menuItems();
    EXPECT_FALSE(entries[4]->isEnabled() || entries[5]->isEnabled());
    EXPECT_TRUE(entries[0]->isEnabled());
}

TEST_F(HUDViewsTest, ALayoutShortcutWhileTheStreamCapturesInputRequestsOnce) {
    ASSERT_TRUE(window);
    stream(60, 40, 0);
    toolbar.setCanRequestMode(true);
    toolbar.setKeymap(&keymap);
    keymap.setInputMode(InputMode::keymap);
    keymap.loadActiveKeymaps();
    test::settleWorkers();
    ShortcutClient client;
    InputCapture capture(*window->contentItem(), client);
    capture.start();
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // As in the stream screen, an item of the window has the keyboard focus.
    window->contentItem()->forceActiveFocus();

    // Real key presses through the X server: Ctrl+Super+2, then A to know they all arrived.
    test::XTestInput hands;
    ASSERT_TRUE(hands.press("Ctrl+Meta+2"));
    ASSERT_TRUE(hands.press("A"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::any_of(client.events.begin(), client.events.end(), [](const InputEvent& e) {
            return std::holds_alternative<KeyUpEvent>(e) && std::get<KeyUpEvent>(e).keyCode == 0;
        });
    }));
    capture.stop();
    ASSERT_EQ(client.shortcuts.size(), 1u);
    EXPECT_EQ(client.shortcuts[0].layout, 1u);
    EXPECT_TRUE(layoutRequests.empty()) << "the menu's shortcut acted as well";
}

}  // namespace
}  // namespace qm
