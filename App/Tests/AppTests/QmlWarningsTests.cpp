#include <QQmlComponent>
#include <QQmlEngine>
#include <array>
#include <memory>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

// The view being made; a static, as the failure checks take no locals.
const char* view = nullptr;

void make() {
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(view, QUrl("qrc:/Mistake.qml"));
    const std::unique_ptr<QObject> made(component.create());
}

// Each mistake a view can make prints one warning, and the test that printed it fails.
TEST(QmlWarningsTest, EveryKindOfMistakeInAViewFailsTheTest) {
    constexpr std::array mistakes{
        // A TypeError.
        "import QtQuick\nItem { Component.onCompleted: undefined.settings }",
        // A ReferenceError.
        "import QtQuick\nItem { width: nowhere }",
        // In a component, an item's own property hides an id of the file: undefined is assigned.
        "import QtQuick\nItem { id: layer; property Item other: layer\n"
        "  Loader { sourceComponent: Item { property Item own: layer.other } } }",
        // A binding loop.
        "import QtQuick\nItem { width: height + 1; height: width + 1 }",
        // A type that does not exist: the component does not load.
        "import QtQuick\nNoSuchItem {}",
    };
    for (const char* mistake : mistakes) {
        SCOPED_TRACE(mistake);
        view = mistake;
        EXPECT_NONFATAL_FAILURE(make(), "QML warning");
    }
}

}  // namespace
}  // namespace qm
