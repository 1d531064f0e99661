#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>

#include "QuillmereKit/Help/ConnectionNotice.h"

namespace qm {

// The onboarding screen's texts that do not depend on the phone's brand. Texts are translated in
// the context "Onboarding" with the English text as the key, on each call.
namespace OnboardingText {

QString title(OnboardingStep step);

// The hint under the USB debugging steps about the phone's question.
QString allowDialog();

// Without numbers, in order.
QStringList cableSteps();
// The position in cableSteps() of the step that installs the udev rule; udevRuleCommands() go
// under it.
inline constexpr qsizetype udevRuleStep = 1;
// The two shell commands that install the udev rule at `rulePath`, shown for copying and never
// translated. The path is quoted for the shell where it needs to be.
QStringList udevRuleCommands(const QString& rulePath);

// The keys, each translated in the context "Onboarding".
QStringList translated(std::initializer_list<const char*> keys);

}  // namespace OnboardingText

}  // namespace qm
