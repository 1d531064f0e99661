#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVariant>

namespace qm {

// A list for QML whose rows each hold one value per named role. Replacing the rows reports only
// the rows that changed, so the delegates of the others stay as they are. GUI thread only.
class RowListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using Row = QVariantList;  // in the order of the role names

    explicit RowListModel(const QList<QByteArray>& roleNames, QObject* parent = nullptr);

    const QList<Row>& rows() const noexcept { return rows_; }
    void setRows(QList<Row> rows);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override { return roleNames_; }

private:
    QHash<int, QByteArray> roleNames_;
    QList<Row> rows_;
};

}  // namespace qm
