#pragma once

#include <QString>

#include "InputRouter/KeymapProfile.h"

// The short text that names a trigger on screen: on key chips, action handles and the switch-key
// button. Any thread.
namespace qm::TriggerLabel {

// A symbol or a few letters; an unnamed key reads as its code ("0x37").
QString text(const Trigger& trigger);

}  // namespace qm::TriggerLabel
