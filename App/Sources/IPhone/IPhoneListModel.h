#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

#include <QtQml/qqmlregistration.h>

#include "IPhoneMirror/IPhoneDevice.h"

namespace qm {

// The attached iPhones in the watcher's order, one row each with its id and name. GUI thread.
class IPhoneListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The app model keeps the list")

public:
    enum Role { deviceIDRole = Qt::UserRole + 1, nameRole };

    using QAbstractListModel::QAbstractListModel;

    const std::vector<IPhoneDevice>& devices() const noexcept { return devices_; }
    // Resets the rows when the list differs.
    void setDevices(std::vector<IPhoneDevice> devices);
    // Null when no attached device has that id.
    const IPhoneDevice* find(const std::string& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    std::vector<IPhoneDevice> devices_;
};

}  // namespace qm
