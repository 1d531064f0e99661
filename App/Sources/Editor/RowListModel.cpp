#include "RowListModel.h"

#include <algorithm>
#include <utility>

namespace qm {

RowListModel::RowListModel(const QList<QByteArray>& roleNames, QObject* parent)
    : QAbstractListModel(parent) {
    for (int i = 0; i < roleNames.size(); ++i) {
        roleNames_.insert(Qt::UserRole + i, roleNames[i]);
    }
}

void RowListModel::setRows(QList<Row> rows) {
    const int kept = static_cast<int>(std::min(rows_.size(), rows.size()));
    if (rows.size() < rows_.size()) {
        beginRemoveRows(QModelIndex(), kept, static_cast<int>(rows_.size()) - 1);
        rows_.resize(kept);
        endRemoveRows();
    }
    for (int i = 0; i < kept; ++i) {
        if (rows_[i] != rows[i]) {
            rows_[i] = rows[i];
            emit dataChanged(index(i), index(i));
        }
    }
    if (rows.size() > rows_.size()) {
        beginInsertRows(QModelIndex(), kept, static_cast<int>(rows.size()) - 1);
        rows_.append(rows.mid(kept));
        endInsertRows();
    }
}

int RowListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant RowListModel::data(const QModelIndex& index, int role) const {
    const int column = role - Qt::UserRole;
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        column < 0 || column >= roleNames_.size()) {
        return {};
    }
    return rows_[index.row()].value(column);
}

}  // namespace qm
