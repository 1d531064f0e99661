#pragma once

#include <QObject>
#include <QPointer>

namespace qm {

// Return and Enter press the focused push button as Space does, as on every Linux desktop; Qt
// Quick's buttons take Space alone. The focused button has Return before a window's default
// (a Return shortcut), whose key it is wherever the focus is on no button. A key a stream takes
// for the game never reaches the button: its window's filter swallows it first. Filters the
// whole application while it lives. GUI thread only.
class ButtonReturnKey final : public QObject {
public:
    ButtonReturnKey();
    ~ButtonReturnKey() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    // The button a Return went down on, which its release lets go of.
    QPointer<QObject> pressed_;
};

}  // namespace qm
