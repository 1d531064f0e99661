#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <initializer_list>
#include <memory>

#include <gtest/gtest.h>

#include "ViewTesting.h"
#include "Windows/WindowPlacement.h"

namespace qm {
namespace {

TEST(WindowPlacementTest, AWindowOpensWhereItWasLeftOrCentredWhenNoScreenShowsIt) {
    const QList<QRect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    struct Row {
        QRect saved;
        QRect placed;
        const char* why;
    };
    for (const Row& row : std::initializer_list<Row>{
             {{100, 80, 900, 600}, {100, 80, 900, 600}, "on the primary screen"},
             {{2000, 100, 900, 600}, {2000, 100, 900, 600}, "on the second screen"},
             {{-800, 100, 900, 600}, {0, 100, 900, 600}, "mostly off, its top in reach"},
             {{1500, 700, 900, 600}, {1020, 480, 900, 600}, "past the right and bottom edges"},
             {{-850, 100, 900, 600}, {510, 240, 900, 600}, "too little of its top shows"},
             {{100, -40, 900, 600}, {510, 240, 900, 600}, "its top above every screen"},
             {{4000, 2000, 900, 600}, {510, 240, 900, 600}, "off every screen"},
             {{2000, 0, 2560, 1440}, {1920, 0, 1280, 1024}, "larger than its screen"},
             {{100, 100, 2560, 1440}, {0, 0, 1920, 1080}, "larger, away from the corner"},
             {{100, 100, 1200, 1440}, {100, 0, 1200, 1080}, "taller than its screen"},
             {{100, 100, 1920, 1080}, {0, 0, 1920, 1080}, "as large as its screen"},
             {{5000, 0, 2560, 1440}, {0, 0, 1920, 1080}, "off every screen and larger"},
         }) {
        EXPECT_EQ(WindowPlacement::placed(row.saved, screens), row.placed) << row.why;
    }
    // Its frame, title bar and all, on the screen too.
    EXPECT_EQ(WindowPlacement::placed({100, 100, 2560, 1440}, screens, {1, 20, 1, 5}),
              QRect(1, 20, 1918, 1055));
}

// A place kept on a larger screen opens whole on this one, whatever its size.
TEST(WindowPlacementTest, APlaceFromALargerScreenOpensWithinThisOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const auto text = [](const QRect& rect) {
        return QStringLiteral("%1x%2 at %3,%4")
            .arg(rect.width())
            .arg(rect.height())
            .arg(rect.x())
            .arg(rect.y())
            .toStdString();
    };
    QTemporaryDir folder;
    QSettings store(folder.filePath("placed.ini"), QSettings::IniFormat);
    for (const QRect& saved :
         {QRect(screen.center(), screen.size() * 3 / 4),
          QRect(screen.topLeft() + QPoint(40, 30), screen.size() + QSize(600, 300))}) {
        store.setValue("windowGeometry",
                       QVariantList{saved.x(), saved.y(), saved.width(), saved.height()});
        QWindow window;
        WindowPlacement placement(window, store);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, test::waitBound));
        EXPECT_TRUE(QTest::qWaitFor([&] { return screen.contains(window.frameGeometry()); },
                                    test::waitBound))
            << "saved " << text(saved) << ", shown " << text(window.frameGeometry()) << " on "
            << text(screen);
    }
}

TEST(WindowPlacementTest, TheWindowShowsWithTheSizeAndPlaceItWasLeftWith) {
    QTemporaryDir folder;
    const auto store = [&](const char* name, const QByteArray& lines) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + lines);
        file.close();
        return std::make_unique<QSettings>(file.fileName(), QSettings::IniFormat);
    };
    const auto first = store("first.ini", "windowGeometry=120, 90, 900, 600\n");
    {
        QWindow window;
        WindowPlacement placement(window, *first);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, test::waitBound));
        EXPECT_EQ(window.geometry(), QRect(120, 90, 900, 600));
        window.setGeometry(200, 150, 700, 500);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.geometry() == QRect(200, 150, 700, 500); },
                                    test::waitBound));
        placement.save();
    }
    // The next start reads the file anew.
    first->sync();
    ASSERT_TRUE(QFile::copy(first->fileName(), folder.filePath("second.ini")));
    QSettings second(folder.filePath("second.ini"), QSettings::IniFormat);
    QWindow again;
    WindowPlacement placement(again, second);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again, test::waitBound));
    EXPECT_EQ(again.geometry(), QRect(200, 150, 700, 500));

    // A hand edit that is no place leaves the window its own size.
    const auto edited = store("edited.ini", "windowGeometry=120, 90, wide\n");
    QWindow own;
    own.resize(640, 360);
    WindowPlacement ownPlacement(own, *edited);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&own, test::waitBound));
    EXPECT_EQ(own.size(), QSize(640, 360));
}

}  // namespace
}  // namespace qm
