#pragma once

#include <QObject>

namespace qm {

// Keeps every text field of the application from typing the character of a Super chord: Super
// carries the app's shortcuts and the desktop's, never text. A field neither receives such a key
// nor, by taking it as text, keeps a shortcut from acting. Filters the whole application while it
// lives. GUI thread only.
class SuperChordFilter final : public QObject {
public:
    SuperChordFilter();
    ~SuperChordFilter() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;
};

}  // namespace qm
