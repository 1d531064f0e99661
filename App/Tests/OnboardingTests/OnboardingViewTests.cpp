#include <QDir>
#include <QFile>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include <gtest/gtest.h>

#include "FakeAppModel.h"
#include "MarkupProbe.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using test::findItem;
using test::isShown;
using test::shownItems;
using test::textOf;

// The onboarding view over a fake app model and a bundle holding the udev rule.
class OnboardingViewTest : public ::testing::Test {
protected:
    OnboardingViewTest() {
        QDir(bundle_.path()).mkpath("linux");
        QFile rule(bundle_.filePath("linux/70-vantorel-adb.rules"));
        EXPECT_TRUE(rule.open(QIODevice::WriteOnly));
    }

    QQuickWindow& show(QSize size = {900, 600}) {
        window_ = test::showWindow(engine_, R"(
            import QtQuick
            import Vantorel
            Window {
                required property AppModelBase shell
                required property string bundle
                required property size size
                width: size.width; height: size.height
                OnboardingView {
                    anchors.fill: parent; model: shell
                    screen: OnboardingScreen { model: shell; bundleRoot: bundle }
                }
            })",
                                   {{"shell", QVariant::fromValue<QObject*>(&shell_)},
                                    {"bundle", bundle_.path()},
                                    {"size", size}});
        // Return reaches only the active window.
        window_->requestActivate();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        return *window_;
    }

    QString stepTitle() { return textOf(findItem(*window_, "stepTitle")); }
    QStringList numbers() {
        QStringList texts;
        for (QQuickItem* item : shownItems(findItem(*window_, "stepList"), "stepNumber")) {
            texts.append(textOf(item));
        }
        return texts;
    }
    void click(const QString& name) { test::click(*window_, findItem(*window_, name)); }
    void press(Qt::Key key) { QTest::keyClick(window_.get(), key); }

    QTemporaryDir bundle_;
    test::FakeAppModel shell_;
    QQmlEngine engine_;
    test::ShownWindow window_;
};

TEST_F(OnboardingViewTest, StepsFollowNavigationBrandsAndLaterNotices) {
    shell_.setConnectionNotice(ConnectionNotice::allowOnPhone("Pixel 7"));
    QQuickWindow& window = show();

    // The notice on show at creation moves nothing.
    EXPECT_EQ(stepTitle(), "Turn on developer mode");
    EXPECT_FALSE(isShown(window, "back"));
    EXPECT_TRUE(isShown(window, "vendorPicker"));
    EXPECT_EQ(textOf(findItem(window, "noticeMessage")), "Tap “Allow” on the phone (Pixel 7).");
    // The step list keeps one width, whatever the step's texts.
    const auto listWidth = [&] {
        return test::waitForFrame(window) ? findItem(window, "stepRows")->width() : -1;
    };
    const qreal width = listWidth();
    EXPECT_GT(width, 0);

    press(Qt::Key_Return);
    EXPECT_EQ(stepTitle(), "Turn on USB debugging");
    EXPECT_TRUE(isShown(window, "back"));
    EXPECT_TRUE(isShown(window, "next"));
    EXPECT_TRUE(isShown(window, "allowHint"));
    EXPECT_EQ(numbers(), QStringList({"1.", "2."}));
    click("vendor:Xiaomi");
    EXPECT_EQ(numbers(), QStringList({"1.", "2.", "3."}));
    EXPECT_EQ(listWidth(), width);

    click("stepRow3");
    EXPECT_EQ(stepTitle(), "Connect the cable");
    EXPECT_FALSE(isShown(window, "vendorPicker"));
    EXPECT_FALSE(isShown(window, "allowHint"));
    EXPECT_FALSE(isShown(window, "next"));
    EXPECT_EQ(numbers(), QStringList({"1.", "2.", "3.", "4."}));
    EXPECT_EQ(listWidth(), width);
    // The rule's commands sit under the second step, naming the bundle's rule.
    const auto commands = shownItems(findItem(window, "stepList"), "command");
    ASSERT_EQ(commands.size(), 2);
    EXPECT_TRUE(textOf(commands[0]).contains(bundle_.filePath("linux/70-vantorel-adb.rules")));
    press(Qt::Key_Return);
    EXPECT_EQ(stepTitle(), "Connect the cable");

    // The brand chosen survives the way back; later notices move the step.
    click("back");
    EXPECT_EQ(numbers(), QStringList({"1.", "2.", "3."}));
    shell_.setConnectionNotice(ConnectionNotice::connectCable());
    EXPECT_EQ(stepTitle(), "Connect the cable");
    click("stepRow1");
    shell_.setConnectionNotice(ConnectionNotice::allowOnPhone("Pixel 8"));
    EXPECT_EQ(stepTitle(), "Turn on USB debugging");

    click("stepRow1");
    EXPECT_FALSE(isShown(window, "copyDiagnostics"));
    shell_.setConnectionNotice(
        ConnectionNotice::failed(LinkFailure::unplugged, "ADB connection lost: notFound"));
    EXPECT_EQ(stepTitle(), "Turn on developer mode");
    EXPECT_EQ(textOf(findItem(window, "noticeDetail")),
              "The phone was unplugged. Plug it in again.");
    click("copyDiagnostics");
    EXPECT_EQ(shell_.diagnosticsCopies, 1);
}

TEST_F(OnboardingViewTest, EachStepIsATabStopWithAVisibleRingAndTheKeysShowIt) {
    QQuickWindow& window = show();
    // The step that shows the ring, "" for none; never two.
    const auto ringed = [&]() -> QString {
        const auto rings = shownItems(window.contentItem(), "stepFocus");
        EXPECT_LE(rings.size(), 1);
        return rings.isEmpty() ? "" : rings.first()->parentItem()->objectName();
    };
    EXPECT_EQ(ringed(), "");
    for (int stops = 0; ringed() != "stepRow1" && stops < 12; ++stops) {
        press(Qt::Key_Tab);
    }
    ASSERT_EQ(ringed(), "stepRow1") << "Tab reaches the first step";
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* ringed;
        const char* title;
    };
    // Return and Enter are the step's, not Next's, which would go from the first to the second.
    for (const Step& step : {
             Step{Qt::Key_Tab, {}, "stepRow2", "Turn on developer mode"},
             Step{Qt::Key_Tab, {}, "stepRow3", "Turn on developer mode"},
             Step{Qt::Key_Return, {}, "stepRow3", "Connect the cable"},
             Step{Qt::Key_Backtab, {}, "stepRow2", "Connect the cable"},
             Step{Qt::Key_Space, {}, "stepRow2", "Turn on USB debugging"},
             Step{Qt::Key_Backtab, {}, "stepRow1", "Turn on USB debugging"},
             Step{Qt::Key_Enter, Qt::KeypadModifier, "stepRow1", "Turn on developer mode"},
         }) {
        QTest::keyClick(&window, step.key, step.modifiers);
        EXPECT_EQ(ringed(), step.ringed) << step.title;
        EXPECT_EQ(stepTitle(), step.title) << step.ringed;
    }
}

// From the start and wherever Tab goes, one ring shows, around the control that has the keys: the
// steps, the screen's ordinary buttons and its default. A button that hides with them passes
// them on, to Next or else to the step shown.
TEST_F(OnboardingViewTest, EveryTabStopShowsOneRingAroundTheFocusedControl) {
    QQuickWindow& window = show();
    // The control with the keys, once checked that it alone shows a ring; "" for none.
    const auto ringed = [&]() -> QString {
        QQuickItem* focused = window.activeFocusItem();
        const QList<QQuickItem*> rings =
            shownItems(window.contentItem(), [](const QQuickItem& item) {
                return item.objectName() == "focusRing" || item.objectName() == "stepFocus";
            });
        const bool one = focused && rings.size() == 1 && rings.first()->parentItem() == focused;
        EXPECT_TRUE(one) << (focused ? focused->objectName().toStdString() : "nothing focused");
        return one ? focused->objectName() : "";
    };
    EXPECT_EQ(ringed(), "next") << "before any Tab";
    QStringList visited;
    for (int stop = 0; stop < 12; ++stop) {
        press(Qt::Key_Tab);
        visited.append(ringed());
    }
    EXPECT_TRUE(visited.contains("tryDemo")) << visited.join(' ').toStdString();
    EXPECT_TRUE(visited.contains("next")) << visited.join(' ').toStdString();

    // Tabs to the named button and presses it twice, going past the step that hides it.
    const auto pressTwice = [&](const QString& name) {
        for (int stops = 0; ringed() != name && stops < 12; ++stops) {
            press(Qt::Key_Tab);
        }
        press(Qt::Key_Space);
        press(Qt::Key_Space);
    };
    pressTwice("next");
    EXPECT_EQ(stepTitle(), "Connect the cable");
    EXPECT_EQ(ringed(), "stepRow3") << "Next went";
    pressTwice("back");
    EXPECT_EQ(stepTitle(), "Turn on developer mode");
    EXPECT_EQ(ringed(), "next") << "Back went";
}

TEST_F(OnboardingViewTest, AProductNameIsShownAsWrittenNeverAsMarkup) {
    test::MarkupProbe probe;
    const QString product = probe.image("p");  // within the 40 characters shown
    shell_.setConnectionNotice(ConnectionNotice::allowOnPhone(product.toStdString()));
    QQuickWindow& window = show();
    ASSERT_TRUE(test::waitForFrame(window));
    QQuickItem* message = findItem(window, "noticeMessage");
    EXPECT_EQ(textOf(message), "Tap “Allow” on the phone (" + product + ").");
    EXPECT_TRUE(test::drawnAsWritten(message));
    EXPECT_EQ(probe.fetchedBefore(engine_), std::vector<std::string>());

    // A right-to-left name keeps to its own run: the sentence's closing bracket stays at its end.
    shell_.setConnectionNotice(ConnectionNotice::allowOnPhone("גלקסי"));
    EXPECT_EQ(textOf(message), "Tap “Allow” on the phone (\u2068גלקסי\u2069).");
    // Nor does a name break the sentence into lines or turn its end, however long it is.
    shell_.setConnectionNotice(
        ConnectionNotice::allowOnPhone("Pixel\r\nAllowed\u202E" + std::string(1000, 'x')));
    EXPECT_EQ(textOf(message),
              "Tap “Allow” on the phone (Pixel\\r\\nAllowed\\u202E" + QString(18, 'x') + "…).");
}

// What a user on Linux meets first: a phone they may not open yet, or one another adb holds.
TEST_F(OnboardingViewTest, PermissionAndBusyNoticesSayWhatToRun) {
    QQuickWindow& window = show();
    shell_.setConnectionNotice(ConnectionNotice::usbPermission());
    EXPECT_EQ(textOf(findItem(window, "noticeMessage")),
              "Vantorel may not use this phone's USB connection yet. Install the USB rule (step "
              "3), then plug the phone in again.");
    EXPECT_EQ(stepTitle(), "Connect the cable");  // where the rule is explained
    const QStringList commands = textOf(findItem(window, "noticeDetail")).split('\n');
    ASSERT_EQ(commands.size(), 2);
    EXPECT_TRUE(commands[0].contains(bundle_.filePath("linux/70-vantorel-adb.rules")));
    EXPECT_TRUE(commands[1].startsWith("sudo udevadm"));
    EXPECT_FALSE(isShown(window, "copyDiagnostics"));

    shell_.setConnectionNotice(ConnectionNotice::anotherAdbRunning());
    EXPECT_EQ(textOf(findItem(window, "noticeMessage")),
              "Another adb is using the phone. Quit Android Studio or other adb tools, or run “adb "
              "kill-server” in Terminal, then reconnect the cable.");
    EXPECT_EQ(textOf(findItem(window, "noticeDetail")), "adb kill-server");

    shell_.setConnectionNotice(ConnectionNotice::noUsb());
    EXPECT_TRUE(isShown(window, "noticeHint"));
    EXPECT_FALSE(isShown(window, "noticeDetail"));
}

// The main window at its smallest, under its menu bar, with the longest notice.
TEST_F(OnboardingViewTest, EveryStepFitsTheSmallestWindowWithNoButtonCutOff) {
    shell_.setConnectionNotice(ConnectionNotice::noUsb());
    QQuickWindow& window = show({640, 330});
    const QRectF room(0, 0, window.width(), window.height());
    for (const char* step : {"stepRow1", "stepRow2", "stepRow3"}) {
        click(step);
        ASSERT_TRUE(test::waitForFrame(window));
        for (QQuickItem* button : shownItems(window.contentItem(), [](const QQuickItem& item) {
                 return item.inherits("QQuickButton");
             })) {
            const QRectF place = button->mapRectToScene(button->boundingRect());
            EXPECT_TRUE(room.contains(place) && button->width() >= button->implicitWidth())
                << step << ": " << textOf(button).toStdString() << " is cut off";
        }
    }
}

TEST_F(OnboardingViewTest, DemoLinkOnlyWithTheDemoStream) {
    shell_.demoStream = false;
    EXPECT_FALSE(isShown(show(), "tryDemo"));

    shell_.demoStream = true;
    QQuickWindow& window = show();
    click("tryDemo");
    EXPECT_EQ(shell_.demos, 1);
    EXPECT_EQ(textOf(findItem(window, "noticeMessage")),
              "Connect the cable. Some cables only charge.");
}

}  // namespace
}  // namespace qm
