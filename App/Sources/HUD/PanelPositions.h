#pragma once

#include <QObject>
#include <QRectF>
#include <QSettings>
#include <QSizeF>
#include <QString>
#include <QVariantMap>
#include <map>
#include <optional>

#include <QtQml/qqmlregistration.h>

namespace qm {

// How far the user dragged each floating panel of the stream window from its resting place,
// kept in the settings store across launches. Displacements are in logical pixels, positive to
// the right and downwards. GUI thread only.
class PanelPositions : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model owns the panel positions")
    // By stored panel name; a panel without displacement is missing.
    Q_PROPERTY(QVariantMap offsets READ offsetsByName NOTIFY offsetsChanged)

public:
    // Stored as "panelOffset." and the case name.
    enum class Panel { toolbar, hud, recording };

    // How close to the stream area's edges a panel may be dragged back from.
    static constexpr double panelMargin = 48;

    // Loads each panel's stored displacement; an unreadable one is left in the store as it is
    // and means none. The store must outlive the positions.
    explicit PanelPositions(QSettings& defaults, QObject* parent = nullptr);

    QSizeF offset(Panel panel) const;
    // Records the displacement and writes it to the store at once.
    void set(QSizeF offset, Panel panel);
    // Every panel back to its resting place, and its key out of the store.
    Q_INVOKABLE void reset();

    // The displacement of a panel at `rest` that keeps `margin` of it (all of it when it is
    // smaller) inside `area` on each axis, both rectangles in the same coordinates; none on an
    // axis where the area is no larger than the margin. An undefined value becomes 0.
    static QSizeF clamp(QSizeF value, QRectF rest, QRectF area, double margin);

    // Where a panel whose displacement is `base` is drawn while dragged by `drag`: kept in sight
    // in the stream area as it is now, whatever was stored for a larger one.
    Q_INVOKABLE QSizeF shown(QSizeF base, QSizeF drag, QRectF rest, QRectF area) const;
    // A drag of the panel by its stored name ended: stores where it leaves the panel.
    Q_INVOKABLE void endDrag(const QString& panel, QSizeF translation, QRectF rest, QRectF area);

signals:
    void offsetsChanged();

private:
    static std::optional<Panel> panelNamed(const QString& name);
    QVariantMap offsetsByName() const;

    QSettings& defaults_;
    std::map<Panel, QSizeF> offsets_;
};

}  // namespace qm
