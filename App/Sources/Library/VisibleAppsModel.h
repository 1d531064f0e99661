#pragma once

#include <QAbstractListModel>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "ServerProtocol/ExtMessage.h"

namespace qm {

// The library grid's tiles: one row per visible app with its package, label and icon bytes.
// Rows point into the library model's list; its owner changes that list only inside update(),
// which resets the rows. GUI thread.
class VisibleAppsModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The library view model owns its list")

public:
    enum Role { packageNameRole = Qt::UserRole + 1, labelRole, iconRole };

    using QAbstractListModel::QAbstractListModel;

    // Runs `change`, which may replace the list the rows point into, and shows the rows it gives.
    template <typename Change>
    void update(Change&& change) {
        beginResetModel();
        rows_ = change();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    std::vector<const AppInfo*> rows_;
};

}  // namespace qm
