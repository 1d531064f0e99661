#pragma once

#include <QObject>
#include <array>
#include <bitset>
#include <functional>
#include <optional>
#include <utility>

class QKeyEvent;

namespace qm {

// Which of the display's keys are down, as the application's key events tell, and whether a
// press began its key's hold or repeats a key held since earlier: the one place every judge of a
// shortcut asks. X repeats the key pressed last, also while a modifier goes down: a key held
// before Super repeats under it as if it were a Super chord. Asks the display to repeat presses
// alone, on X11, and follows every key event of the application while it lives; an event asked
// about before the application's filters saw it is taken then. GUI thread only.
class HeldKeys final : public QObject {
public:
    static HeldKeys& shared();

    // Whether the event is a press that began its key's hold: false for a repeat and a release.
    // A press's shortcut override, its key event and their deliveries to the window's items are
    // one press, judged alike.
    bool began(const QKeyEvent& key);
    // Takes the event in, for a filter that may keep it from the application's others.
    void note(const QKeyEvent& key) { began(key); }
    // Whether the press fires a Super chord: its key went down while Super was held, each press
    // once. The repeats of a key held from before Super fire nothing.
    bool firesSuperChord(const QKeyEvent& key);
    // Whether the key of the press went down while Super was held, at this press or at the one
    // that began its hold.
    bool wentDownUnderSuper(const QKeyEvent& key);
    // Every key is taken as up: their releases go to another application.
    void forget();
    // The keys the display has down now, by key code; none when it cannot tell.
    using DisplayKeys = std::function<std::optional<std::bitset<256>>()>;
    // Where the display is read from, the application's connection to it by default; returns
    // where it was read from until now.
    DisplayKeys readDisplayWith(DisplayKeys read) {
        return std::exchange(readDisplay_, std::move(read));
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    HeldKeys();
    ~HeldKeys() override;

    // Takes the keys the display has up as let go, those still held staying held.
    void letGoOfKeysUp();

    // The last press or release of a key, by the display's time, and what it was judged.
    struct Seen {
        bool valid = false;
        bool press = false;
        quint64 time = 0;
        bool began = false;
    };
    // The display repeats a held key as presses alone, and says so.
    bool exact_ = false;
    std::bitset<256> down_;
    std::bitset<256> underSuper_;
    std::array<Seen, 256> last_{};
    DisplayKeys readDisplay_;
};

}  // namespace qm
