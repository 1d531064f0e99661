#pragma once

#include <QString>

namespace qm::NameRefusal {

// The first character of a name a person typed that a reader would not see or that reorders
// what they see, in the words of the sentence that refuses the name: "a line break", "a control
// character (U+0007)", "a mark that changes the order of its text (U+202E)", "an invisible
// character (U+200B)". Empty when the name holds none. Any thread.
QString hiddenCharacter(const QString& name);

// What a layout name being typed keeps: its first 40 characters, as many as fit in the bytes a
// stored name may take. Any thread.
QString fittedLayoutName(const QString& typed);

}  // namespace qm::NameRefusal
