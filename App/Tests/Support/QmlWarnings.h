#pragma once

#include <QString>
#include <QtGlobal>

namespace qm::test {

// Whether a message Qt logs is a warning of QML or JavaScript: an error in one of our views
// (a TypeError, a failed assignment, a binding loop, a component that does not load). Linking
// QmlWarnings.cpp into a test program makes every such warning a failure of the test that
// printed it; Qt's own messages that are not about our code are let through by name.
bool isQmlWarning(QtMsgType type, const char* category, const QString& message);

}  // namespace qm::test
