#pragma once

#include <QString>
#include <climits>

#include "QuillmereCore/UnicodeText.h"

namespace qm {

// A path inside a sentence, as the person can find it: its hidden characters spelled out (a
// right-to-left mark in a folder's name would turn the rest of it around) and the whole of it
// one run, whatever the sentence's direction. A real path is never cut. Any thread.
inline QString shownPath(const QString& path) {
    return QString::fromStdString(UnicodeText::excerpt(path.toStdString(), PATH_MAX));
}

}  // namespace qm
