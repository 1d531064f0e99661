#pragma once

#include <QObject>
#include <optional>

class QKeyEvent;

namespace qm {

// Keeps every text field of the application from typing the character of a Super chord: Super
// carries the app's shortcuts and the desktop's, never text. A field neither receives such a key
// nor, by taking it as text, keeps a shortcut from acting. A held Super chord acts once: the
// keyboard's repeats of it reach nothing, so that a held Super+Q cannot answer the question its
// press asked. Filters the whole application while it lives. GUI thread only.
class SuperChordFilter final : public QObject {
public:
    SuperChordFilter();
    ~SuperChordFilter() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    // Follows presses and releases; true for a press of a key held since an earlier one. The
    // display repeats a held key as a press alone, which Qt does not mark as a repeat.
    bool isRepeat(const QObject* receiver, const QKeyEvent& key);

    // The key pressed last and not let go, and the display's time of the press that began its
    // hold. A press's shortcut override and its key event carry the same time.
    struct Held {
        quint32 code = 0;
        quint64 since = 0;
    };
    std::optional<Held> held_;
};

}  // namespace qm
