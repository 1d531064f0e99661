#pragma once

#include <QList>
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
    // primary screen's first: where it was, no larger than the screen that holds most of it and
    // moved onto that screen where it was larger; centred on the primary screen, at the size that
    // fits, when no screen shows enough of it to take hold of.
    static QRect placed(QRect saved, const QList<QRect>& screens);

    // Places the hidden window as the store says, and shows it; without a stored place the
    // window keeps its own size and the desktop places it.
    WindowPlacement(QWindow& window, QSettings& store);

    // What the window shows now, written to the store: its place when neither maximised nor
    // full screen, and whether it was maximised.
    void save();

private:
    void follow();

    QWindow& window_;
    QSettings& store_;
    std::optional<QRect> normal_;
    bool maximised_ = false;
};

}  // namespace qm
