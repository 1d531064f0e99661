#pragma once

#include <QObject>

namespace qm {

// Keeps every text field of the application from typing the character of a Super chord: Super
// carries the app's shortcuts and the desktop's, never text. A field neither receives such a key
// nor, by taking it as text, keeps a shortcut from acting. Only a key pressed after Super went
// down makes a chord, once: the repeats of a held chord, or of a key held from before Super,
// reach nothing, so that a held Super+Q cannot answer the question its press asked, nor a held
// Q quit. Filters the whole application while it lives. GUI thread only.
class SuperChordFilter final : public QObject {
public:
    SuperChordFilter();
    ~SuperChordFilter() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;
};

}  // namespace qm
