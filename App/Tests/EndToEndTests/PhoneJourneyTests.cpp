// The whole application with a phone, as a person uses it: the simulated phone on the simulated
// USB bus, real windows on a display with a window manager, keys and clicks through the X
// server, and after every step what the person would see. The screen after each step is kept in
// the test's build folder.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Editor/KeymapController.h"
#include "Editor/ProfileStore.h"
#include "RunningApp.h"
#include "SimulatedPhone.h"
#include "Storage/AppSettings.h"
#include "Support/CommandOutput.h"
#include "ViewTesting.h"

namespace qm {
namespace {

using test::DesktopUser;
using Kind = SessionPhase::Kind;

constexpr int gameCount = 12;
const QString runeSprint = QStringLiteral("com.glyphhouse.runesprint");

// The file name of a step's picture: its number and its words.
QString shotName(std::size_t number, const char* step) {
    QString words = QString::fromUtf8(step).toLower();
    for (QChar& c : words) {
        if (!c.isLetterOrNumber()) {
            c = u'-';
        }
    }
    return QStringLiteral("%1-%2.png").arg(number, 2, 10, QLatin1Char('0')).arg(words.left(60));
}

// Whether two colours are alike, as a scaled and smoothed icon keeps its colour.
bool alike(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 &&
           std::abs(a.blue() - b.blue()) < 24;
}

std::size_t countOf(const std::vector<ControlMessage>& messages, const auto& matches) {
    return std::size_t(std::count_if(messages.begin(), messages.end(), matches));
}

bool isTouchDown(const ControlMessage& message) {
    const auto* touch = std::get_if<InjectTouch>(&message);
    return touch && touch->action == MotionAction::down;
}

class PhoneJourneyTest : public ::testing::Test {
protected:
    PhoneJourneyTest() = default;
    // Reading a clip takes seconds in a sanitizer build: a journey reads only those it plays.
    explicit PhoneJourneyTest(const std::vector<VideoCodec>& codecs)
        : phone{QM_PHONE_CLIP, feel(), codecs} {}

    void SetUp() override {
        ASSERT_TRUE(running.start(
            {1280, 800}, [this](QSettings& defaults) { return phone.environment(defaults); }));
        window = &running.mainWindow();
        ASSERT_TRUE(phone.plugIn());
        QDir().mkpath(QStringLiteral(QM_JOURNEY_SCREENSHOTS));
    }

    DesktopUser& user() { return running.user(); }
    AppModel& model() { return running.model(); }
    KeymapController* keymap() { return model().streamKeymap(); }

    QQuickItem* shown(const QString& name) const { return DesktopUser::shown(*window, name); }
    bool shows(const QString& name) const { return shown(name) != nullptr; }

    // The steps, each followed by a picture of the whole screen.
    std::vector<test::RunningApp::Step> photographed(std::vector<test::RunningApp::Step> steps) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            steps[i].second = [this, number = i + 1, name = steps[i].first,
                               step = std::move(steps[i].second)] {
                step();
                test::waitForFrame(*window);
                const QString file =
                    QDir(QStringLiteral(QM_JOURNEY_SCREENSHOTS)).filePath(shotName(number, name));
                EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(file)) << name;
            };
        }
        return steps;
    }

    // The library's tiles as shown, by package.
    QStringList tiles() const {
        QStringList packages;
        for (QQuickItem* tile : DesktopUser::allShown(*window, [](const QQuickItem& item) {
                 return item.objectName().startsWith("tile:");
             })) {
            packages.append(tile->objectName().mid(5));
        }
        return packages;
    }

    // Every game's icon on the screen in the colours of the PNG the phone sent.
    bool iconsDrawn() const {
        const QImage screen = window->grabWindow();
        for (const AppInfo& app : test::SimulatedPhone::apps()) {
            if (!app.isGame) {
                continue;
            }
            QQuickItem* icon = nullptr;
            if (QQuickItem* tile = shown("tile:" + QString::fromStdString(app.packageName))) {
                icon = test::findItem(tile, "icon");
            }
            if (!icon) {
                return false;
            }
            // Left of the letter, inside the rounded square.
            const QImage png = QImage::fromData(app.iconPNG.data(), int(app.iconPNG.size()));
            const QPointF at(0.15, 0.5);
            const QPointF inIcon =
                icon->mapToScene(QPointF(icon->width() / 2, icon->height() / 2) +
                                 QPointF((at.x() - 0.5) * 96, (at.y() - 0.5) * 96));
            const QPoint pixel = (inIcon * window->devicePixelRatio()).toPoint();
            if (!alike(screen.pixelColor(pixel),
                       png.pixelColor(int(at.x() * png.width()), int(at.y() * png.height())))) {
                return false;
            }
        }
        return true;
    }

    // Where each tile's icon comes from: a new URL loads the icon again, blank meanwhile.
    std::vector<std::string> iconSources() const {
        std::vector<std::string> sources;
        for (const QString& package : tiles()) {
            QQuickItem* icon = test::findItem(shown("tile:" + package), "icon");
            sources.push_back(icon->property("source").toString().toStdString());
        }
        return sources;
    }

    // The HUD's rows as shown, by title.
    std::map<QString, QString> hud() const {
        const auto named = [&](const char* name) {
            return DesktopUser::allShown(
                *window, [name](const QQuickItem& item) { return item.objectName() == name; });
        };
        const QList<QQuickItem*> titles = named("hudTitle");
        const QList<QQuickItem*> values = named("hudValue");
        std::map<QString, QString> rows;
        for (qsizetype i = 0; i < std::min(titles.size(), values.size()); ++i) {
            rows[test::textOf(titles[i])] = test::textOf(values[i]);
        }
        return rows;
    }

    // The HUD shows the stream's frame rate and latency.
    bool hudFilled() const {
        const auto figure = [](const QString& text) {
            bool number = false;
            const double value = text.section(' ', 0, 0).toDouble(&number);
            return number && value > 0;
        };
        const std::map<QString, QString> rows = hud();
        return rows.count("FPS") && figure(rows.at("FPS")) && rows.count("Stream latency") &&
               figure(rows.at("Stream latency"));
    }

    // The stream plays: streaming, and the picture in the video item moves on.
    bool pictureMoves() {
        QQuickItem* video = shown("streamVideo");
        if (!video || !model().sessionObject() ||
            model().sessionObject()->phase().kind() != Kind::streaming) {
            return false;
        }
        const QRect area =
            video->mapRectToScene(QRectF(0, 0, video->width(), video->height())).toAlignedRect();
        const QImage first = window->grabWindow().copy(area);
        return DesktopUser::waitFor([&] { return window->grabWindow().copy(area) != first; });
    }

    // The item shows, nothing of it past the window's edges.
    bool showsWhole(const QString& name) const {
        QQuickItem* item = shown(name);
        return item && QRectF(QPointF(0, 0), window->size())
                           .contains(item->mapRectToScene(item->boundingRect()));
    }

    std::vector<ControlMessage> phoneReceived() const {
        const std::shared_ptr<test::FakePhone> session = phone.session();
        return session ? session->server().controlMessages() : std::vector<ControlMessage>();
    }

    // The key puts a finger down on the phone. Held until then: a busy machine can read a tap
    // more than a second after it was typed, which the app rightly no longer plays.
    bool keyTapsThePhone(const QString& key) {
        const std::size_t touches = countOf(phoneReceived(), isTouchDown);
        const bool tapped = user().hands().hold(key) && DesktopUser::waitFor([&] {
                                return countOf(phoneReceived(), isTouchDown) > touches;
                            });
        return user().hands().release(key) && tapped;
    }

    // Super+E opens the editor, and a tap on the key is added, unsaved.
    bool addUnsavedTap(const char* key) {
        return user().press("Meta+E") &&
               DesktopUser::waitFor([&] { return keymap() && keymap()->isEditing(); }) &&
               user().click(DesktopUser::shownWithText(*window, "Tap", "QQuickButton")) &&
               DesktopUser::waitFor([&] { return shows("captureBanner"); }) && user().press(key) &&
               DesktopUser::waitFor([&] { return keymap()->isDirty(); });
    }

    // The seconds the recording pill's clock, "m:ss", shows.
    int recordedSeconds() const {
        const QStringList clock = test::textOf(shown("elapsed")).split(':');
        return clock.size() == 2 ? clock[0].toInt() * 60 + clock[1].toInt() : 0;
    }

    // The clip plays whole: its picture and its sound each last the seconds recorded, less
    // what a busy machine's picture lags behind, and start together.
    static void expectPlaysWhole(const QString& file, double seconds) {
        const std::optional<test::TrackSpan> picture = test::trackSpan(file.toStdString(), 'v');
        const std::optional<test::TrackSpan> sound = test::trackSpan(file.toStdString(), 'a');
        ASSERT_TRUE(picture && sound)
            << test::commandOutput("ffprobe '" + file.toStdString() + "'");
        EXPECT_GE(picture->end - picture->start, seconds);
        EXPECT_GE(sound->soundPlayed(), seconds);
        EXPECT_NEAR(sound->start, picture->start, 0.1);
    }

    // The phone's latest ADB session and how many servers were started in it.
    std::pair<std::shared_ptr<test::FakePhone>, std::size_t> serverStarts() const {
        const std::shared_ptr<test::FakePhone> session = phone.session();
        return {session, session ? session->server().startCommands().size() : 0};
    }

    // What the phone said it felt, a line a touch.
    std::vector<std::string> felt() const {
        std::lock_guard lock(feltMutex);
        return feltLines;
    }
    bool felt(const std::string& pattern) const {
        return std::ranges::any_of(felt(), [&](const std::string& line) {
            return ::testing::Matches(::testing::MatchesRegex(pattern))(line);
        });
    }

    mutable std::mutex feltMutex;
    std::vector<std::string> feltLines;
    test::SimulatedPhone::TouchLog feel() {
        return [this](const std::string& line) {
            std::lock_guard lock(feltMutex);
            feltLines.push_back(line);
        };
    }
    test::SimulatedPhone phone{QM_PHONE_CLIP, feel()};
    test::RunningApp running;
    QQuickWindow* window = nullptr;
};

TEST_F(PhoneJourneyTest, AllowPickAGamePlayMapAKeyRecordLoseTheCableAndComeBack) {
    std::size_t playedActions = 0;
    std::vector<std::string> icons;
    const auto indicator = [&] { return test::textOf(shown("modeIndicator")); };

    const int ended = running.run(photographed({
        {"the phone asks to allow this computer",
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return test::textOf(shown("noticeMessage")) ==
                        "Tap “Allow” on the phone (QM Seven).";
             }));
             EXPECT_FALSE(shows("tiles"));
         }},
        {"Allow on the phone: the library shows the games with their icons",
         [&] {
             ASSERT_TRUE(phone.allow());
             ASSERT_TRUE(DesktopUser::waitFor([&] { return tiles().size() == gameCount; }));
             EXPECT_FALSE(tiles().contains("com.quillmere.notes")) << "only games show";
             ASSERT_TRUE(DesktopUser::waitFor([&] { return iconsDrawn(); }));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("refresh"); })) << "loading";
             icons = iconSources();
         }},
        {"the search narrows the grid",
         [&] {
             // The window manager holds a click until it has focused the window, but not the
             // keys after it: a person types once the field shows its caret.
             QQuickItem* search = shown("search");
             ASSERT_TRUE(user().click(search));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return search->hasActiveFocus(); }));
             for (const char* key : {"R", "U", "N", "E"}) {
                 ASSERT_TRUE(user().press(key));
             }
             ASSERT_TRUE(DesktopUser::waitFor([&] { return tiles() == QStringList{runeSprint}; }));
         }},
        {"a game opened: it starts on the phone and its stream plays with the HUD filled",
         [&] {
             ASSERT_TRUE(user().click(shown("tile:" + runeSprint)));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return pictureMoves(); }));
             EXPECT_EQ(model().routePackage(), runeSprint);
             EXPECT_EQ(countOf(phoneReceived(),
                               [](const ControlMessage& message) {
                                   const auto* start = std::get_if<StartApp>(&message);
                                   return start && start->packageName == runeSprint.toStdString();
                               }),
                       1u);
             ASSERT_TRUE(DesktopUser::waitFor([&] { return hudFilled(); })) << "FPS and latency";
             const auto rows = hud();
             EXPECT_EQ(rows.at("Temperature"), "47 °C");
             EXPECT_EQ(rows.at("Throttling"), "2/6");
         }},
        {"Key Mapping from the toolbar's pop-up: the warning keeps typed keys from the phone, "
         "Return continues",
         [&] {
             ASSERT_TRUE(keymap());
             const QString before = indicator();
             ASSERT_TRUE(user().click(shown("modeMenuButton")));
             QQuickItem* keyMapping = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return (keyMapping = DesktopUser::shownWithText(
                             *window,
                             [](const QString& text) { return text.endsWith(" Key Mapping"); },
                             "QQuickMenuItem"));
             }));
             ASSERT_TRUE(user().click(keyMapping));
             // Key mapping's first use warns of online games first.
             QQuickItem* carryOn = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return (carryOn = DesktopUser::shownWithText(*window, "Continue")); }));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return carryOn->hasActiveFocus(); }));
             const auto keysAndTouches = [&] {
                 return countOf(phoneReceived(), [](const ControlMessage& message) {
                     return std::holds_alternative<InjectKeycode>(message) ||
                            std::holds_alternative<InjectTouch>(message);
                 });
             };
             const std::size_t received = keysAndTouches();
             ASSERT_TRUE(user().press("W"));  // the layout's stick, were it to reach the game
             ASSERT_TRUE(user().press("Return"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return keymap()->inputMode() == InputMode::keymap && indicator() != before &&
                        !carryOn->isVisible();
             }));
             EXPECT_EQ(keysAndTouches(), received) << "a key reached the phone";
         }},
        {"Edit Layout with Super+E: a tap added on J and saved, and J taps the phone",
         [&] {
             playedActions = keymap()->activeLayout()->profile.actions.size();
             // Full screen hides the menu bar, and the game holds the pointer.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureNotice"); }));
             ASSERT_TRUE(user().press("Meta+E"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return keymap()->isEditing(); }));
             ASSERT_TRUE(user().click(DesktopUser::shownWithText(*window, "Tap", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("captureBanner"); }));
             ASSERT_TRUE(user().press("J"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("captureBanner"); }));
             ASSERT_TRUE(user().click(DesktopUser::shownWithText(*window, "Save", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));

             // The game's own file holds the new tap.
             const std::optional<std::filesystem::path> folder = ProfileStore::defaultDirectory();
             ASSERT_TRUE(folder);
             const ProfileStore store{*folder};
             EXPECT_EQ(store.fileURL(runeSprint.toStdString()).filename(),
                       "com.glyphhouse.runesprint.json");
             const std::optional<GameKeymaps> saved =
                 store.loadKeymaps(runeSprint.toStdString(), "Main");
             ASSERT_TRUE(saved);
             const std::optional<std::size_t> edited =
                 saved->layoutIndex(keymap()->activeLayout()->id);
             ASSERT_TRUE(edited);
             EXPECT_EQ(saved->layouts[*edited].profile.actions.size(), playedActions + 1);

             EXPECT_TRUE(keyTapsThePhone("J"));
             // The phone says what it felt, for a person checking a layout.
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return felt("finger -?[0-9]+ down at [0-9]+,[0-9]+ of 1920x1080") &&
                        felt("finger -?[0-9]+ up at [0-9]+,[0-9]+ of 1920x1080");
             }));
         }},
        {"Key Mapping's warning again, Continue double-clicked: its second click fires nothing",
         [&] {
             ASSERT_TRUE(user().press("Meta+1"));
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return keymap()->inputMode() == InputMode::keyboardMouse; }));
             model().settings()->setEmulatorWarningShown(false);  // as at a first use
             ASSERT_TRUE(user().press("Meta+2"));
             QQuickItem* carryOn = nullptr;
             ASSERT_TRUE(DesktopUser::waitFor(
                 [&] { return (carryOn = DesktopUser::shownWithText(*window, "Continue")); }));
             const std::size_t sent = phoneReceived().size();
             ASSERT_TRUE(user().click(carryOn, 2));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return keymap()->inputMode() == InputMode::keymap && !carryOn->isVisible() &&
                        model().pointerCaptured();
             }));
             // The fingers put down since, up to the stick's on the left: on the one socket, a
             // touch of the clicks' comes before it. W held as in keyTapsThePhone.
             ASSERT_TRUE(user().hands().hold("W"));
             std::vector<DevicePosition> downs;
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 const std::vector<ControlMessage> received = phoneReceived();
                 downs.clear();
                 for (std::size_t i = sent; i < received.size(); ++i) {
                     if (isTouchDown(received[i])) {
                         downs.push_back(std::get<InjectTouch>(received[i]).position);
                     }
                 }
                 return !downs.empty() && downs.back().x < downs.back().screenWidth / 2;
             }));
             ASSERT_TRUE(user().hands().release("W"));
             EXPECT_EQ(downs.size(), 1u) << "the fire button tapped at " << downs.front().x;
         }},
        {"D held while the display repeats it: the stick's finger stays down until D goes up",
         [&] {
             const auto lines = [&](const char* pattern) {
                 return std::ranges::count_if(felt(), [&](const std::string& line) {
                     return ::testing::Matches(::testing::MatchesRegex(pattern))(line);
                 });
             };
             const auto ups = [&] { return lines("finger -?[0-9]+ up at .*"); };
             const auto downs = [&] { return lines("finger -?[0-9]+ down at .*"); };
             const auto liftedBefore = ups();
             const auto pressedBefore = downs();
             test::KeyEvents d(*window, KEY_D + 8);
             ASSERT_TRUE(user().hands().hold("D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return d.presses >= 30; }))
                 << "the display repeats no key";
             ASSERT_TRUE(user().hands().release("D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return ups() > liftedBefore; }));
             EXPECT_EQ(d.releases, 1) << "the display let go of D while it was held";
             EXPECT_EQ(ups(), liftedBefore + 1);
             EXPECT_EQ(downs(), pressedBefore + 1);
         }},
        {"four seconds recorded with Super+R, saved in the Videos folder",
         [&] {
             EXPECT_TRUE(showsWhole("recordPanel"));
             ASSERT_TRUE(user().press("Meta+R"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("pill"); }));
             ASSERT_TRUE(test::waitForFrame(*window));  // laid out for what it shows
             EXPECT_TRUE(showsWhole("pill"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return recordedSeconds() >= 4; }));
             ASSERT_TRUE(user().press("Meta+R"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("savedPanel"); }));
             const QString file = model().recording()->lastFile().toLocalFile();
             EXPECT_EQ(QFileInfo(file).dir().dirName(), "Vantorel");
             EXPECT_TRUE(file.startsWith(
                 QString::fromStdString(RecordingController::moviesDirectory().string())));
             expectPlaysWhole(file, 2.5);
         }},
        {"the cable pulled while a tap on K is added: the editor says so and keeps the tap",
         [&] {
             ASSERT_TRUE(addUnsavedTap("K"));
             ASSERT_TRUE(phone.pullCable());
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("streamAwayBanner"); }));
             // Esc is still the editor's, which asks before the tap goes.
             ASSERT_TRUE(user().press("Escape"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return keymap()->notice().startsWith("Unsaved changes. Press Esc again");
             }));
             EXPECT_TRUE(keymap()->isEditing() && keymap()->isDirty());
         }},
        {"Save with the phone away writes the tap; the stream waits for the phone, and Super+E "
         "says why it edits nothing",
         [&] {
             ASSERT_TRUE(user().click(DesktopUser::shownWithText(*window, "Save", "QQuickButton")));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !keymap()->isEditing(); }));
             const std::optional<GameKeymaps> saved =
                 ProfileStore(*ProfileStore::defaultDirectory())
                     .loadKeymaps(runeSprint.toStdString(), "Main");
             ASSERT_TRUE(saved);
             EXPECT_EQ(saved->layouts[keymap()->activeLayoutIndex()].profile.actions.size(),
                       playedActions + 2);
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("reconnect"); }));
             EXPECT_TRUE(DesktopUser::shownWithText(*window, "Waiting for the phone…"));
             ASSERT_TRUE(user().press("Meta+E"));
             EXPECT_TRUE(DesktopUser::waitFor([&] {
                 return DesktopUser::shownWithText(
                     *window, "The layout can be edited once the phone is back.");
             }));
             EXPECT_FALSE(keymap()->isEditing());
         }},
        {"the cable back: the game and its control mode resume by themselves",
         [&] {
             ASSERT_TRUE(phone.plugIn());
             ASSERT_TRUE(DesktopUser::waitFor([&] { return !shows("reconnect"); }));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return pictureMoves(); }));
             EXPECT_EQ(model().routePackage(), runeSprint);
             EXPECT_EQ(keymap()->inputMode(), InputMode::keymap);
             EXPECT_TRUE(DesktopUser::waitFor([&] { return hudFilled(); })) << "the HUD's figures";
             EXPECT_TRUE(keyTapsThePhone("J") && keyTapsThePhone("K"));
         }},
        {"Close Stream with Super+W over an unsaved tap: asked first, the edits kept",
         [&] {
             ASSERT_TRUE(addUnsavedTap("L"));
             ASSERT_TRUE(user().press("Meta+W"));
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return DesktopUser::shownWithText(
                     *window,
                     "Unsaved changes. Close the stream again to discard them, or Super+E to "
                     "save.");
             }));
             EXPECT_TRUE(keymap() && keymap()->isDirty() && shows("streamVideo"));
         }},
        {"Super+W again: the edits go, back to the library",
         [&] {
             ASSERT_TRUE(user().press("Meta+W"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return tiles().size() == gameCount; }));
             EXPECT_FALSE(shows("streamVideo"));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return iconsDrawn(); }));
             // The list is read again; its icons, the same, stay as they are.
             ASSERT_TRUE(DesktopUser::waitFor([&] { return shows("refresh"); })) << "loading";
             EXPECT_EQ(iconSources(), icons);
         }},
        {"Sharper video (HEVC) on and the game again: the phone's own picture, in HEVC",
         [&] {
             model().settings()->setHevcStream(true);
             ASSERT_TRUE(user().click(shown("tile:" + runeSprint)));
             // The library's own stream plays until the game's starts.
             ASSERT_TRUE(DesktopUser::waitFor([&] {
                 return std::ranges::any_of(serverStarts().first->server().startCommands(),
                                            [](const std::string& command) {
                                                return command.find("video_codec=h265") !=
                                                       std::string::npos;
                                            });
             }));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return pictureMoves(); }));
             EXPECT_EQ(model().sessionObject()->videoGeometry()->videoSize(),
                       (VideoSize{1920, 1080}));
         }},
        {"Super+Shift+D from the game in Key Mapping: the demo plays in its place",
         [&] {
             ASSERT_TRUE(keymap() && keymap()->inputMode() == InputMode::keymap);
             ASSERT_TRUE(user().press("Meta+Shift+D"));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return model().routeIsDemo(); }));
             EXPECT_TRUE(DesktopUser::waitFor([&] { return pictureMoves(); }));
         }},
        {"Quit with Super+Q", [&] { ASSERT_TRUE(user().press("Meta+Q")); }},
    }));
    EXPECT_EQ(ended, 0);
    EXPECT_THAT(phone.violations(), ::testing::IsEmpty());
}

// What the app is busy with when the person quits, each further along than the one before.
enum class Busy {
    libraryLoading,
    gameStarting,
    streaming,
    reconnecting,
    recording,
    editing,
    unsavedEdits
};
constexpr std::array busyNames{"LibraryLoading", "GameStarting", "Streaming",   "Reconnecting",
                               "Recording",      "Editing",      "UnsavedEdits"};

class PhoneQuitJourneyTest : public PhoneJourneyTest,
                             public ::testing::WithParamInterface<std::tuple<Busy, const char*>> {
protected:
    PhoneQuitJourneyTest() : PhoneJourneyTest({VideoCodec::h264}) {}
};

// The signals a quit key names, as the desktop or the terminal sends them; none for a key.
std::vector<int> signalsNamed(std::string_view quitKey) {
    const std::map<std::string_view, std::vector<int>> named{
        {"SIGTERM", {SIGTERM}},
        {"SIGINT", {SIGINT}},
        {"SIGHUP", {SIGHUP}},
        // A logout's, one after the other.
        {"SIGTERM_SIGHUP", {SIGTERM, SIGHUP}},
        {"SIGTERM_10_times", std::vector<int>(10, SIGTERM)}};
    return named.contains(quitKey) ? named.at(quitKey) : std::vector<int>{};
}

// However busy, the app quits at once, unsaved edits asked about first unless a signal asks
// it to quit, a recording kept whole, its window's place written, and starts no server on its
// way out.
TEST_P(PhoneQuitJourneyTest, QuitsWhateverTheAppIsDoing) {
    const auto [busy, quitKey] = GetParam();
    const std::vector<int> sent = signalsNamed(quitKey);
    const auto started = [&](std::size_t servers) {
        return DesktopUser::waitFor([&] { return serverStarts().second >= servers; });
    };
    std::pair<std::shared_ptr<test::FakePhone>, std::size_t> atQuit;
    const int ended = running.run({
        {busyNames[std::size_t(busy)],
         [&] {
             ASSERT_TRUE(user().activate(*window));
             ASSERT_TRUE(DesktopUser::waitFor([&] { return phone.allow(); }) && started(1));
             if (busy >= Busy::gameStarting) {
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return tiles().size() == gameCount; }));
                 ASSERT_TRUE(user().click(shown("tile:" + runeSprint)) && started(2));
             }
             if (busy >= Busy::streaming) {
                 ASSERT_TRUE(DesktopUser::waitFor([&] { return pictureMoves(); }));
             }
             // The cable pulled, a recording begun, the editor opened with nothing changed or
             // with a tap added.
             using Check = std::function<bool()>;
             const std::map<Busy, std::pair<Check, Check>> then = {
                 {Busy::reconnecting,
                  {[&] { return phone.pullCable(); }, [&] { return shows("reconnect"); }}},
                 {Busy::recording,
                  {[&] { return bool(user().press("Meta+R")); },
                   [&] { return shows("pill") && recordedSeconds() >= 3; }}},
                 {Busy::editing,
                  {[&] { return bool(user().press("Meta+E")); },
                   [&] { return keymap()->isEditing(); }}},
                 {Busy::unsavedEdits,
                  {[&] { return addUnsavedTap("J"); }, [&] { return keymap()->isDirty(); }}},
             };
             if (then.contains(busy)) {
                 ASSERT_TRUE(then.at(busy).first());
                 ASSERT_TRUE(DesktopUser::waitFor(then.at(busy).second));
             }
         }},
        {quitKey,
         [&] {
             if (busy == Busy::unsavedEdits && sent.empty()) {
                 // Asked first; the stream and the editor stay as they were.
                 ASSERT_TRUE(user().press(quitKey));
                 ASSERT_TRUE(DesktopUser::waitFor([&] {
                     return DesktopUser::shownWithText(
                         *window,
                         "Unsaved changes. Quit again to discard them, or Super+E to save.");
                 }));
                 ASSERT_TRUE(keymap() && keymap()->isDirty() && shows("streamVideo"));
             }
             atQuit = serverStarts();
             if (!sent.empty()) {
                 for (const int signal : sent) {
                     ASSERT_EQ(::kill(::getpid(), signal), 0);
                 }
             } else {
                 ASSERT_TRUE(user().press(quitKey));
             }
         }},
    });

    // The harness has seen the application end within the quit's bound.
    EXPECT_EQ(ended, 0);
    EXPECT_TRUE(
        QSettings(AppSettings::standardFile(), QSettings::IniFormat).contains("windowMaximized"));
    if (busy == Busy::recording) {
        const QDir clips(QString::fromStdString(RecordingController::moviesDirectory().string()) +
                         "/Vantorel");
        const QStringList files = clips.entryList({"*.mp4"}, QDir::Files);
        ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
        expectPlaysWhole(clips.filePath(files[0]), 1.5);
    }
    const auto atEnd = serverStarts();
    EXPECT_EQ(atEnd.second - (atEnd.first == atQuit.first ? atQuit.second : 0), 0u)
        << "servers started after the quit";
    EXPECT_THAT(phone.violations(), ::testing::IsEmpty());
}

std::string quitCaseName(const ::testing::TestParamInfo<std::tuple<Busy, const char*>>& info) {
    const auto [busy, quitKey] = info.param;
    const std::string_view key(quitKey);
    return std::string(busyNames[std::size_t(busy)]) + (key == "Meta+Q"   ? "SuperQ"
                                                        : key == "Alt+F4" ? "AltF4"
                                                                          : std::string(key));
}

INSTANTIATE_TEST_SUITE_P(Quits, PhoneQuitJourneyTest,
                         ::testing::Combine(::testing::Values(Busy::libraryLoading,
                                                              Busy::gameStarting, Busy::streaming,
                                                              Busy::reconnecting, Busy::recording,
                                                              Busy::editing, Busy::unsavedEdits),
                                            ::testing::Values("Meta+Q", "Alt+F4")),
                         quitCaseName);
// What a logout, Ctrl+C and a closed terminal send, each once, and a logout's pair and repeats,
// which are one request to quit.
INSTANTIATE_TEST_SUITE_P(Signals, PhoneQuitJourneyTest,
                         ::testing::Values(std::tuple(Busy::recording, "SIGTERM"),
                                           std::tuple(Busy::unsavedEdits, "SIGINT"),
                                           std::tuple(Busy::streaming, "SIGHUP"),
                                           std::tuple(Busy::recording, "SIGTERM_SIGHUP"),
                                           std::tuple(Busy::recording, "SIGTERM_10_times")),
                         quitCaseName);

}  // namespace
}  // namespace qm
