#include "VisibleAppsModel.h"

namespace qm {

int VisibleAppsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant VisibleAppsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const AppInfo& app = *rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case packageNameRole:
            return QString::fromStdString(app.packageName);
        case Qt::DisplayRole:
        case labelRole:
            return QString::fromStdString(app.label);
        case iconRole:
            return QByteArray(reinterpret_cast<const char*>(app.iconPNG.data()),
                              static_cast<qsizetype>(app.iconPNG.size()));
        default:
            return {};
    }
}

QHash<int, QByteArray> VisibleAppsModel::roleNames() const {
    return {{packageNameRole, "packageName"}, {labelRole, "label"}, {iconRole, "icon"}};
}

}  // namespace qm
