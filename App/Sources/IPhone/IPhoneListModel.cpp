#include "IPhoneListModel.h"

#include <algorithm>
#include <utility>

namespace qm {

void IPhoneListModel::setDevices(std::vector<IPhoneDevice> devices) {
    if (devices == devices_) {
        return;
    }
    beginResetModel();
    devices_ = std::move(devices);
    endResetModel();
}

const IPhoneDevice* IPhoneListModel::find(const std::string& id) const {
    const auto found = std::find_if(devices_.begin(), devices_.end(),
                                    [&](const IPhoneDevice& device) { return device.id == id; });
    return found == devices_.end() ? nullptr : &*found;
}

int IPhoneListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(devices_.size());
}

QVariant IPhoneListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const IPhoneDevice& device = devices_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case deviceIDRole:
            return QString::fromStdString(device.id);
        case Qt::DisplayRole:
        case nameRole:
            return QString::fromStdString(device.name);
        default:
            return {};
    }
}

QHash<int, QByteArray> IPhoneListModel::roleNames() const {
    return {{deviceIDRole, "deviceID"}, {nameRole, "name"}};
}

}  // namespace qm
