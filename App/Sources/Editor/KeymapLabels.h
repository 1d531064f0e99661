#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "InputRouter/KeymapProfile.h"
#include "KeymapController.h"
#include "RowListModel.h"

namespace qm {

// What the play-time labels overlay draws: a key chip on every mapped control of the active
// layout, centred where that control touches the video, and whether the overlay shows at all.
// Follows the controller and the content rectangle (view points). GUI thread only.
class KeymapLabels : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qm::KeymapController* keymap READ keymap WRITE setKeymap NOTIFY keymapChanged)
    Q_PROPERTY(QRectF contentRect READ contentRect WRITE setContentRect NOTIFY contentRectChanged)
    // In keymap mode with the editor closed and an active layout that shows its labels.
    Q_PROPERTY(bool shown READ isShown NOTIFY shownChanged)
    // Empty while not shown. Roles: text (empty for a look's mouse symbol), centreX, centreY.
    Q_PROPERTY(QAbstractItemModel* chips READ chips CONSTANT)

public:
    struct Label {
        QString text;  // empty: the mouse symbol of a look
        QPointF centre;
        bool operator==(const Label&) const = default;
    };

    explicit KeymapLabels(QObject* parent = nullptr);

    // A tap's trigger at its point; a stick's four directions at its radius (a fraction of the
    // width, on both axes) around its centre; a look's symbol at its centre. In the profile's
    // order.
    static std::vector<Label> labels(const KeymapProfile& profile, QRectF content);

    KeymapController* keymap() const { return keymap_; }
    void setKeymap(KeymapController* keymap);
    QRectF contentRect() const { return contentRect_; }
    void setContentRect(QRectF rect);
    bool isShown() const noexcept { return shown_; }
    QAbstractItemModel* chips() const noexcept { return chips_; }

signals:
    void keymapChanged();
    void contentRectChanged();
    void shownChanged();

private:
    void update();

    QPointer<KeymapController> keymap_;
    QRectF contentRect_;
    bool shown_ = false;
    RowListModel* chips_;
};

}  // namespace qm
