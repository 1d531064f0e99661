#include "QuillmereKit/Help/OnboardingText.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace qm::OnboardingText {

namespace {

QString translatedKey(const char* key) {
    return QCoreApplication::translate("Onboarding", key);
}

// A path pasted into a terminal must reach `install` as one word, whatever the folder's name.
QString shellQuoted(const QString& path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+:@%,=-]+$"));
    if (plain.match(path).hasMatch()) {
        return path;
    }
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

}  // namespace

QString title(OnboardingStep step) {
    switch (step) {
        case OnboardingStep::developerMode:
            return translatedKey(QT_TRANSLATE_NOOP("Onboarding", "Turn on developer mode"));
        case OnboardingStep::usbDebugging:
            return translatedKey(QT_TRANSLATE_NOOP("Onboarding", "Turn on USB debugging"));
        case OnboardingStep::cable:
            break;
    }
    return translatedKey(QT_TRANSLATE_NOOP("Onboarding", "Connect the cable"));
}

QString allowDialog() {
    return translatedKey(QT_TRANSLATE_NOOP(
        "Onboarding",
        "When the phone asks “Allow USB debugging?”, check “Always allow from this computer” and "
        "tap “Allow”."));
}

QStringList cableSteps() {
    return translated(
        {QT_TRANSLATE_NOOP("Onboarding", "Connect the phone to the PC with a USB cable."),
         QT_TRANSLATE_NOOP("Onboarding",
                           "The first time, let Vantorel open the phone: install its udev rule, "
                           "then plug the phone in again."),
         QT_TRANSLATE_NOOP("Onboarding",
                           "Some cables only charge. If nothing happens, try another cable."),
         QT_TRANSLATE_NOOP("Onboarding",
                           "Plug the cable into the PC directly, not into a hub or monitor.")});
}

QStringList udevRuleCommands(const QString& rulePath) {
    return {QStringLiteral("sudo install -m 644 ") + shellQuoted(rulePath) +
                QStringLiteral(" /etc/udev/rules.d/"),
            QStringLiteral("sudo udevadm control --reload-rules && sudo udevadm trigger")};
}

QStringList translated(std::initializer_list<const char*> keys) {
    QStringList texts;
    texts.reserve(qsizetype(keys.size()));
    for (const char* key : keys) {
        texts.append(translatedKey(key));
    }
    return texts;
}

}  // namespace qm::OnboardingText
