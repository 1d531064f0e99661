#include "QmlWarnings.h"

#include <array>

#include <QLatin1StringView>

#include <gtest/gtest.h>

namespace qm::test {

namespace {

// What the QML engine writes into its warnings, whichever file or line they name.
constexpr std::array qmlMarkers{
    "TypeError",
    "ReferenceError",
    "SyntaxError",
    "RangeError",
    "Unable to assign",
    "Cannot assign",
    "Binding loop",
    "is not installed",
    "is not a type",
    "QQmlComponent",
    "QQmlApplicationEngine",
    "Invalid property assignment",
    "Non-existent attached object",
};

bool fromQml(const char* category, const QString& message) {
    const QLatin1StringView name(category ? category : "");
    if (name == QLatin1StringView("qml") || name == QLatin1StringView("js") ||
        name.startsWith(QLatin1StringView("qt.qml"))) {
        return true;
    }
    if (message.contains(QLatin1StringView(".qml:"))) {
        return true;
    }
    for (const char* marker : qmlMarkers) {
        if (message.contains(QLatin1StringView(marker))) {
            return true;
        }
    }
    return false;
}

QtMessageHandler previous = nullptr;

void failOnQmlWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (previous) {
        previous(type, context, message);
    }
    if (isQmlWarning(type, context.category, message)) {
        ADD_FAILURE() << "QML warning: " << message.toStdString();
    }
}

// Installed as the program starts, before Qt logs anything.
[[maybe_unused]] const bool installed = [] {
    previous = qInstallMessageHandler(&failOnQmlWarnings);
    return true;
}();

}  // namespace

bool isQmlWarning(QtMsgType type, const char* category, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return false;
    }
    return fromQml(category, message);
}

}  // namespace qm::test
