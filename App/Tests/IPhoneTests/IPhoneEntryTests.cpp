#include <QQmlEngine>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "FakeAppModel.h"
#include "ViewTesting.h"

namespace qm {
namespace {

TEST(IPhoneEntryTest, OneRowPerAttachedIPhoneInOrderAndOnlyAttachedOnesOpen) {
    test::FakeAppModel shell;
    QQmlEngine engine;
    const test::ShownWindow window =
        test::showWindow(engine, R"(
        import QtQuick
        import Vantorel
        Window {
            required property AppModelBase shell
            width: 600; height: 200
            IPhoneEntry { objectName: "entry"; model: shell }
        })",
                         {{"shell", QVariant::fromValue<QObject*>(&shell)}});
    ASSERT_TRUE(window);
    QQuickItem* entry = test::findItem(*window, "entry");
    EXPECT_EQ(entry->property("count"), 0);
    EXPECT_EQ(entry->height(), 0);

    const IPhoneDevice anna{"video2", "Anna's <b>iPhone</b>"};
    const IPhoneDevice ben{"video0", "Ben's iPhone"};
    shell.setIPhones({anna, ben});
    ASSERT_EQ(entry->property("count"), 2);
    QQuickItem* first = test::findItem(*window, "iphoneRow:video2");
    QQuickItem* second = test::findItem(*window, "iphoneRow:video0");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(QTest::qWaitFor([&] { return first->y() < second->y(); }));

    test::click(*window, test::findItem(second, "showIPhone"));
    EXPECT_EQ(shell.shownIPhones, std::vector<IPhoneDevice>{ben});

    // Clicked just after its iPhone was unplugged.
    shell.setIPhones({ben});
    shell.openIPhone("video2");
    EXPECT_EQ(shell.shownIPhones, std::vector<IPhoneDevice>{ben});
}

}  // namespace
}  // namespace qm
