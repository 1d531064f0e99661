#include <QKeySequence>
#include <QVariant>

#include <gtest/gtest.h>

#include "Windows/MenuShortcuts.h"

namespace qm {
namespace {

TEST(MenuShortcutsTest, ShowsTheDesktopsFormWithSuperForMeta) {
    const std::pair<QVariant, QString> cases[] = {
        {QStringLiteral("Meta+Q"), "Super+Q"},
        {QStringLiteral("Ctrl+Meta+F"), "Ctrl+Super+F"},
        {QStringLiteral("Meta+Ctrl+F"), "Ctrl+Super+F"},
        {QStringLiteral("Shift+Meta+H"), "Super+Shift+H"},
        {QStringLiteral("Meta+,"), "Super+,"},
        {QStringLiteral("Ctrl+Meta+9"), "Ctrl+Super+9"},
        {QStringLiteral("Alt+F4"), "Alt+F4"},
        {QStringLiteral(""), ""},
        {QVariant(), ""},
        {QVariant::fromValue(QKeySequence(Qt::META | Qt::Key_R)), "Super+R"},
        {int(QKeySequence::Quit), "Ctrl+Q"},
    };
    for (const auto& [shortcut, text] : cases) {
        EXPECT_EQ(MenuShortcuts::text(shortcut), text) << shortcut.toString().toStdString();
    }
}

}  // namespace
}  // namespace qm
