#pragma once

#include <QList>
#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSettings>
#include <QWindow>
#include <optional>

namespace qm {

// The main window's size, place and maximised state across starts, as desktop apps keep
// theirs: read from the settings store before the window first shows, followed while it is
// shown and written back when the application quits. GUI thread only.
class WindowPlacement : public QObject {
    Q_OBJECT

public:
    // Where a window last shown at `saved` opens on screens with these available areas, the
    // primary screen's first: where it was, cut to the screen that holds most of it and moved
    // onto it, frame and all; centred on the primary screen, at the size that fits, when no
    // screen shows enough of it to take hold of. `saved` and the result leave out the frame.
    static QRect placed(QRect saved, const QList<QRect>& screens, QMargins frame = {});

    // Places the hidden window as the store says, and shows it; without a stored place the
    // window keeps its own size and the desktop places it.
    WindowPlacement(QWindow& window, QSettings& store);

    // What the window shows now, written to the store: its place when neither maximised nor
    // full screen, and whether it was maximised.
    void save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();

    QWindow& window_;
    QSettings& store_;
    // The stored place, fitted again once the window's frame is known.
    std::optional<QRect> saved_;
    std::optional<QRect> normal_;
    bool maximised_ = false;
};

}  // namespace qm
