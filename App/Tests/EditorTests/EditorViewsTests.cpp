#include <QFontMetricsF>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "Editor/KeymapController.h"
#include "Editor/KeymapFileDialogs.h"
#include "EditorTestActions.h"
#include "Input/MenuTracking.h"
#include "QuillmereCore/AtomicFile.h"
#include "Support/MediaFixtures.h"
#include "VideoPipeline/View/VideoView.h"
#include "ViewTesting.h"
#include "WorkerResults.h"

namespace qm {
namespace {

using namespace test;

constexpr std::uint16_t esc = 53;

// The stream view's places, as the stream screen fills them: the video, the input layer below
// the keymap overlays, the editor while editing and the labels otherwise, the toast on top.
constexpr auto streamScene = R"(
import QtQuick
import Vantorel
import Vantorel.Video
Window {
    id: root
    required property KeymapController keymap
    required property KeymapFileDialogs dialogs
    property rect contentRect: Qt.rect(0, 40, 1280, 720)
    property int clicksBelow: 0
    property bool stealing: false
    width: 1280; height: 800; visible: true
    VideoView { objectName: "video"; anchors.fill: parent }
    MouseArea { anchors.fill: parent; onClicked: root.clicksBelow++ }
    Loader {
        anchors.fill: parent
        sourceComponent: root.keymap.editing ? editor : labels
        Component { id: editor; KeymapEditorOverlay {
            keymap: root.keymap; contentRect: root.contentRect; fileDialogs: root.dialogs } }
        Component { id: labels; KeymapLabelsOverlay {
            keymap: root.keymap; contentRect: root.contentRect } }
    }
    LayoutToastLayer {
        objectName: "toastLayer"; keymap: root.keymap
        anchors { top: parent.top; horizontalCenter: parent.horizontalCenter }
    }
    // Takes a drag over from the handles, as a gesture elsewhere might.
    DragHandler { target: null; enabled: root.stealing; dragThreshold: 20
                  grabPermissions: PointerHandler.CanTakeOverFromAnything }
})";

class EditorViewsTest : public ::testing::Test {
protected:
    // W and E taps, E inside the look zone, a WASD stick. In a 1280x800 window the picture is
    // (0, 40, 1280, 720): W sits at (640, 472), E at (896, 400), the zone spans (704, 292) to
    // (1216, 652), the stick's centre is (256, 544) with its knob at (346, 634).
    const KeymapAction tapW = tapAt(0.5, 0.6);
    const KeymapAction zone = lookOver({0.55, 0.35, 0.4, 0.5});
    const KeymapAction tapE = tapAt(0.7, 0.5, 14);
    const KeymapAction stick = stickAt(0.2, 0.7, 0.1);

    // Opens the stream scene on these keymaps, the editor open on the first layout.
    void open(std::vector<KeymapLayout> layouts, bool editing = true) {
        store.save({"com.game", std::move(layouts)});
        keymap = std::make_unique<KeymapController>("com.game", store, dialogs);
        keymap->loadActiveKeymaps();
        test::settleWorkers();
        window = test::showWindow(engine, streamScene,
                                  {{"keymap", QVariant::fromValue(keymap.get())},
                                   {"dialogs", QVariant::fromValue(&dialogs)}});
        ASSERT_TRUE(window);
        // Shortcuts need the window to have the keyboard.
        window->requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        if (editing) {
            keymap->beginEditing();
        }
    }
    void open() { open({layoutOf("Main", {tapW, zone, tapE, stick})}); }

    // The first shown item that matches, in the visual tree.
    QQuickItem* find(const std::function<bool(QQuickItem*)>& match,
                     QQuickItem* from = nullptr) const {
        from = from ? from : window->contentItem();
        for (QQuickItem* child : from->childItems()) {
            if (!child->isVisible()) {
                continue;
            }
            if (match(child)) {
                return child;
            }
            if (QQuickItem* found = find(match, child)) {
                return found;
            }
        }
        return nullptr;
    }
    QQuickItem* named(const QString& name) const { return test::findItem(*window, name); }
    bool shown(const QString& name) const { return test::isShown(*window, name); }
    // A button or menu item by its text.
    QQuickItem* control(const QString& text, QQuickItem* from = nullptr) const {
        return find(
            [&](QQuickItem* item) {
                return item->inherits("QQuickAbstractButton") && item->property("text") == text;
            },
            from);
    }
    QQuickItem* handle(const KeymapAction& action) const {
        return find([&](QQuickItem* item) { return item->property("actionId") == idOf(action); });
    }

    static QPoint centre(QQuickItem* item) {
        return item->mapToScene({item->width() / 2, item->height() / 2}).toPoint();
    }
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(window.get(), button, {}, at);
    }
    void click(QQuickItem* item) { test::click(*window, item); }
    void key(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.get(), Qt::Key(key), modifiers);
    }
    // Presses at `from`, moves by `by` in `steps` even steps, calls `midway` before releasing.
    void drag(QPoint from, QPoint by, int steps, const std::function<void()>& midway = {}) {
        QTest::mousePress(window.get(), Qt::LeftButton, {}, from);
        for (int step = 1; step <= steps; ++step) {
            QTest::mouseMove(window.get(), from + by * step / steps);
        }
        if (midway) {
            midway();
        }
        QTest::mouseRelease(window.get(), Qt::LeftButton, {}, from + by);
    }

    template <typename Kind>
    const Kind& edited(const KeymapAction& action) const {
        return std::get<Kind>(keymap->editor()->current().action(action.id)->kind);
    }
    // A text shown as it is: as wide as its characters, tags included.
    static bool showsPlainly(QQuickItem* text, const QString& shown) {
        const double width =
            QFontMetricsF(text->property("font").value<QFont>()).horizontalAdvance(shown);
        return text->property("text") == shown && text->implicitWidth() >= width - 1;
    }

    QTemporaryDir folder;
    ProfileStore store{std::filesystem::path(folder.path().toStdString()) / "Profiles"};
    KeymapFileDialogs dialogs;
    std::unique_ptr<KeymapController> keymap;
    QQmlEngine engine;
    test::ShownWindow window;
};

TEST_F(EditorViewsTest, HandlesWriteOnceWhenTheirGestureEnds) {
    open();
    QQuickItem* w = handle(tapW);
    ASSERT_TRUE(w);
    const double restingX = w->x();
    drag({640, 472}, {40, 0}, 20, [&] {
        EXPECT_EQ(w->x(), restingX + 40);
        EXPECT_FALSE(keymap->canUndo());
    });
    EXPECT_DOUBLE_EQ(edited<KeymapAction::Tap>(tapW).at.x, 680.0 / 1280);
    EXPECT_DOUBLE_EQ(edited<KeymapAction::Tap>(tapW).at.y, 0.6);
    EXPECT_EQ(keymap->selection(), idOf(tapW));
    key(Qt::Key_Z, Qt::MetaModifier);
    EXPECT_EQ(edited<KeymapAction::Tap>(tapW).at.x, 0.5);
    EXPECT_FALSE(keymap->canUndo());

    // Taken over midway: nothing written, back in place.
    window->setProperty("stealing", true);
    drag({640, 472}, {40, 0}, 20);
    EXPECT_EQ(edited<KeymapAction::Tap>(tapW).at.x, 0.5);
    EXPECT_EQ(handle(tapW)->x(), restingX);
    window->setProperty("stealing", false);

    // A 1 px press selects the tap drawn over the zone; the dim clears the selection.
    drag({896, 400}, {1, 0}, 1);
    EXPECT_EQ(keymap->selection(), idOf(tapE));
    EXPECT_FALSE(keymap->canUndo());
    click({60, 300});
    EXPECT_EQ(keymap->selection(), "");

    // A stick's knob resizes it, drawn no smaller than 8, and never moves it.
    QQuickItem* handleItem = handle(stick);
    ASSERT_TRUE(handleItem);
    const QPointF resting = handleItem->position();
    drag({346, 634}, {6, 6}, 3);  // under the knob's threshold, over the move's
    EXPECT_EQ(handleItem->position(), resting);
    EXPECT_EQ(keymap->selection(), idOf(stick));
    EXPECT_FALSE(keymap->canUndo());

    drag({346, 634}, {-85, -85}, 17, [&] {
        EXPECT_EQ(handleItem->property("radius"), 8.0);
        EXPECT_FALSE(keymap->canUndo());
    });
    const auto& resized = edited<KeymapAction::Stick>(stick);
    EXPECT_EQ(resized.center, (PointF{0.2, 0.7}));
    EXPECT_EQ(resized.radius, KeymapEditorModel::minStickRadius);
    EXPECT_EQ(undoSteps(keymap->editor()->current()), 1);
}

TEST_F(EditorViewsTest, RenamingKeepsFortyCharactersAndNeverDeletesTheAction) {
    open();
    click({640, 472});
    ASSERT_EQ(keymap->selection(), idOf(tapW));
    QString typedShown;  // what the field showed when the name was given
    // `more` is typed after `typed`, as a key of its own.
    const auto rename = [&](const QString& typed, const QString& button, const QString& more = {}) {
        click(named("layoutButton"));
        click(control("Rename…"));
        QQuickItem* field = named("renameField");
        ASSERT_TRUE(field);
        EXPECT_EQ(field->property("text").toString(), "Main");
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasActiveFocus(); }));
        // The name shows selected whole: Backspace empties the field, not the layout.
        key(Qt::Key_Backspace);
        QKeyEvent typing(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QCoreApplication::sendEvent(window.get(), &typing);
        if (!more.isEmpty()) {
            QKeyEvent typingMore(QEvent::KeyPress, 0, Qt::NoModifier, more);
            QCoreApplication::sendEvent(window.get(), &typingMore);
        }
        typedShown = field->property("text").toString();
        if (button.isEmpty()) {
            key(Qt::Key_Return);
        } else {
            QQuickItem* dialog = field;  // the dialog's own item, in the window's overlay
            while (!dialog->parentItem()->inherits("QQuickOverlay")) {
                dialog = dialog->parentItem();
            }
            click(control(button, dialog));
        }
        EXPECT_FALSE(keymap->isRenaming());
    };
    rename("   ", "");  // a blank name keeps the old one, and says why; Return stays in the dialog
    EXPECT_TRUE(shown("noticeBanner"));
    EXPECT_EQ(keymap->notice(), "“Main” keeps its name: a layout name cannot be empty.");
    rename("Other", "Cancel");
    EXPECT_EQ(keymap->editedLayoutName(), "Main");
    const QString family = "👨‍👩‍👧";
    rename(family + QString(39, 'x'), "Rename", "x");
    EXPECT_EQ(typedShown, family + QString(39, 'x')) << "the field stops at 40 characters";
    EXPECT_EQ(keymap->editedLayoutName(), family + QString(39, 'x'));
    EXPECT_EQ(keymap->notice(), "") << "the word on the empty name stayed";
    const auto* shownName = named("layoutButton")->property("contentItem").value<QQuickItem*>();
    // The row lays the button out at its next polish.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownName->property("truncated").toBool(); }))
        << "a long name ends in an ellipsis";
    EXPECT_TRUE(keymap->isEditing());
    EXPECT_EQ(keymap->selection(), idOf(tapW));

    key(Qt::Key_Backspace);  // the Delete key, with the dialog gone
    EXPECT_EQ(keymap->editor()->current().action(tapW.id), nullptr);
    key(Qt::Key_Return);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !keymap->isEditing(); }));  // saved
}

TEST_F(EditorViewsTest, ACaptureTakesEveryClickButTheToolbarsAndBannersGoOneByOne) {
    open();
    const auto actions = [&] { return keymap->editor()->current().profile().actions.size(); };
    click(control("Tap"));
    ASSERT_TRUE(shown("captureBanner"));
    click({640, 472});
    click({640, 472}, Qt::RightButton);
    EXPECT_EQ(keymap->selection(), "");
    ASSERT_TRUE(shown("captureBanner"));
    // The toolbar's buttons end the wait for a trigger and do what they say.
    click(control("Stick"));
    EXPECT_FALSE(shown("captureBanner"));
    EXPECT_EQ(actions(), 5u);
    click(control("Tap"));
    keymap->handleWhileEditing(KeyDownEvent{esc, {}, false});  // cancels the capture
    EXPECT_FALSE(shown("captureBanner"));

    keymap->handleWhileEditing(KeyDownEvent{esc, {}, false});  // unsaved: asks first
    click(control("Tap"));
    click(control("Import…"));  // as does an import
    EXPECT_FALSE(shown("captureBanner"));
    EXPECT_EQ(actions(), 5u);
    click(control("Import…"));
    QObject* fileDialog = window->findChild<QObject*>("fileDialog");
    ASSERT_TRUE(fileDialog);
    EXPECT_TRUE(fileDialog->property("visible").toBool());
    click({20, 780});  // beside it: not an answer
    EXPECT_TRUE(fileDialog->property("visible").toBool());
    const auto bad = store.directory / "bad.json";
    AtomicFile::write(bad, asBytes("{\"version\": 7"), 0644);
    dialogs.setName(QString::fromStdString(bad.string()));
    key(Qt::Key_Enter);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown("errorBanner"); }));
    EXPECT_FALSE(fileDialog->property("visible").toBool());

    click(named("noticeBanner"));
    EXPECT_EQ(keymap->notice(), "");
    ASSERT_TRUE(shown("errorBanner"));
    click(named("errorBanner"));
    EXPECT_EQ(keymap->errorMessage(), "");

    click(control("Export…"));
    EXPECT_EQ(test::textOf(named("fileNameTextField")), "com.game.json");
    QMetaObject::invokeMethod(fileDialog, "reject");
    EXPECT_EQ(dialogs.request(), KeymapFileDialogs::Request::none);
    EXPECT_TRUE(keymap->isEditing());
}

TEST_F(EditorViewsTest, TheLayoutMenuFollowsTheLayouts) {
    const QString longName = QString(40, QChar(0x00e9));
    std::vector<KeymapLayout> nine{layoutOf("<b>Main</b>"), layoutOf(longName.toStdString())};
    for (int i = 3; i <= 9; ++i) {
        nine.push_back(layoutOf("Layout " + std::to_string(i)));
    }
    open(nine);
    EXPECT_TRUE(showsPlainly(named("layoutButton")->property("contentItem").value<QQuickItem*>(),
                             "<b>Main</b>"));
    int menusShown = 0;
    QObject::connect(&MenuTracking::shared(), &MenuTracking::menuWillShow, window.get(),
                     [&] { ++menusShown; });
    click(named("layoutButton"));
    EXPECT_EQ(menusShown, 1) << "the stream lets go of its keys";
    QObject* menu = window->findChild<QObject*>("layoutMenu");
    ASSERT_TRUE(menu);
    QQuickItem* longItem = control("2. " + longName);
    ASSERT_TRUE(longItem);
    EXPECT_GE(menu->property("width").toDouble(), longItem->implicitWidth());
    EXPECT_TRUE(
        showsPlainly(longItem->property("contentItem").value<QQuickItem*>(), "2. " + longName));
    EXPECT_FALSE(control("New Layout")->isEnabled());
    EXPECT_FALSE(control("Make Main")->isEnabled());
    EXPECT_TRUE(control("Delete")->isEnabled());

    click(control("1. <b>Main</b>"));  // the edited one again
    EXPECT_EQ(keymap->editedIndex(), 0);
    click(named("layoutButton"));
    EXPECT_TRUE(control("1. <b>Main</b>")->property("checked").toBool());
    click(control("3. Layout 3"));
    click(named("layoutButton"));
    EXPECT_TRUE(control("3. Layout 3")->property("checked").toBool());
    EXPECT_FALSE(control("1. <b>Main</b>")->property("checked").toBool());
    click(control("Make Main"));
    EXPECT_EQ(keymap->editedIndex(), 0);
    EXPECT_EQ(keymap->editedLayoutName(), "Layout 3");

    keymap->setEditor(GameKeymapsEditorModel({"com.game", {layoutOf("Only")}}, 0));
    click(named("layoutButton"));
    EXPECT_TRUE(control("New Layout")->isEnabled());
    EXPECT_FALSE(control("Delete")->isEnabled());
    EXPECT_EQ(test::textOf(named("switchKeyButton")), "None");
    EXPECT_FALSE(control("Remove")->isEnabled());
}

TEST_F(EditorViewsTest, EveryControlOfTheToolbarIsInsideTheSmallestWindow) {
    open();
    keymap->select(idOf(stick));  // its inspector is the widest
    window->resize(640, 360);
    window->setProperty("contentRect", QRectF(0, 0, 640, 360));
    ASSERT_TRUE(test::waitForFrame(*window));
    const QList<QQuickItem*> controls = test::shownItems(
        named("editorToolbar"),
        [](const QQuickItem& item) { return item.inherits("QQuickControl") && item.width() > 0; });
    EXPECT_GE(controls.size(), 18);
    for (QQuickItem* control : controls) {
        EXPECT_TRUE(
            QRectF(0, 0, 640, 360).contains(control->mapRectToScene(control->boundingRect())))
            << control->metaObject()->className() << " " << test::textOf(control).toStdString();
    }
}

TEST_F(EditorViewsTest, TheSensitivitySliderCommitsOncePerDrag) {
    open();
    click({1100, 600});
    ASSERT_EQ(keymap->selection(), idOf(zone));
    QQuickItem* slider = named("sensitivitySlider");
    ASSERT_TRUE(slider);
    // Where the slider's handle is centred for a value, in the window.
    const auto at = [&](double value) {
        const double handleWidth = slider->property("handle").value<QQuickItem*>()->width();
        const double travel = slider->property("availableWidth").toDouble() - handleWidth;
        const double x = slider->property("leftPadding").toDouble() + handleWidth / 2 +
                         travel * (value - 0.1) / 4.9;
        return slider->mapToScene({x, slider->height() / 2}).toPoint();
    };
    const QPoint from = at(1.0);
    const QPoint to = at(2.3);
    drag(from, to - from, 10, [&] {
        EXPECT_EQ(test::textOf(named("sensitivityValue")), "2.3");
        EXPECT_EQ(edited<KeymapAction::Look>(zone).sensitivity, 1.0);
    });
    EXPECT_DOUBLE_EQ(edited<KeymapAction::Look>(zone).sensitivity, 2.3);
    EXPECT_EQ(undoSteps(keymap->editor()->current()), 1);
}

TEST_F(EditorViewsTest, LabelsAndTheToastLetClicksThrough) {
    open({layoutOf("<i>Main</i>", {tapW, zone, stick}), layoutOf("Sniper on the night map, B")},
         false);
    keymap->setInputMode(InputMode::keymap);
    ASSERT_TRUE(find([](QQuickItem* item) { return item->property("text") == "W"; }));
    click({640, 472});  // on W's chip
    EXPECT_EQ(window->property("clicksBelow"), 1);

    QQuickItem* layer = named("toastLayer");
    layer->setProperty("duration", 3600 * 1000);
    keymap->layoutSwitched(0);
    QQuickItem* first = named("layoutToast");
    ASSERT_TRUE(first);
    EXPECT_TRUE(showsPlainly(first->childItems().value(0), "Layout: <i>Main</i>"));
    click(centre(first));
    EXPECT_EQ(window->property("clicksBelow"), 2);
    // A second switch within the time: a new toast with its own full time.
    keymap->layoutSwitched(0);
    QQuickItem* second = named("layoutToast");
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    QObject* timer = second->findChild<QObject*>("toastTimer");
    EXPECT_TRUE(timer->property("running").toBool());
    QMetaObject::invokeMethod(timer, "triggered");
    EXPECT_EQ(keymap->layoutToastId(), "");

    // A long name shows as long as a short one; a sentence as long as it takes to read.
    layer->setProperty("duration", 1500);
    keymap->layoutSwitched(1);
    ASSERT_TRUE(named("layoutToast"));
    EXPECT_EQ(named("layoutToast")->findChild<QObject*>("toastTimer")->property("interval").toInt(),
              1500);
    keymap->showToast("The layout can be edited once the picture shows.");
    EXPECT_EQ(named("layoutToast")->findChild<QObject*>("toastTimer")->property("interval").toInt(),
              48 * 60);
    keymap->layoutSwitched(0);

    layer->setProperty("duration", 1);
    keymap->layoutSwitched(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return keymap->layoutToastId().isEmpty(); }));
}

TEST_F(EditorViewsTest, OverlayOverAStillFrame) {
    open({layoutOf("Main", {tapW, zone, tapE, stick})}, false);
    auto* video = window->findChild<VideoView*>("video");
    ASSERT_TRUE(video);
    // Shared: a later report may be delivered as the window closes, after this test's frame.
    const auto presented = std::make_shared<std::atomic<bool>>(false);
    video->show(test::flatFrame(1280, 720, AV_PIX_FMT_YUV420P, 150, 100, 160),
                [presented](std::uint64_t) { *presented = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return presented->load(); }));
    const QColor frame = window->grabWindow().pixelColor(60, 300);
    keymap->beginEditing();
    keymap->select(idOf(tapW));
    const QImage image = window->grabWindow();
    image.save("keymap-editor-overlay.png");  // kept beside the test's results

    // Within a little of `over` drawn at `alpha` on `under`.
    const auto near = [&](QPoint at, QColor under, QColor over, double alpha) {
        const QColor actual = image.pixelColor(at);
        const auto channel = [&](float (QColor::*value)() const noexcept) {
            const double expected = (under.*value)() * (1 - alpha) + (over.*value)() * alpha;
            return std::abs((actual.*value)() - expected) < 0.02;
        };
        return channel(&QColor::redF) && channel(&QColor::greenF) && channel(&QColor::blueF);
    };
    const QColor dimmed = image.pixelColor(60, 300);
    EXPECT_TRUE(near({60, 300}, frame, Qt::black, 0.35));
    EXPECT_TRUE(near({760, 620}, dimmed, Qt::white, 0.05));  // in the zone
    EXPECT_TRUE(near({640, 488}, Qt::black, handle(tapW)->property("fill").value<QColor>(), 1));
}

}  // namespace
}  // namespace qm
