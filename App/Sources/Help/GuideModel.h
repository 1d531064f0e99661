#pragma once

#include <QAbstractListModel>
#include <QQmlParserStatus>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <QtQml/qqmlregistration.h>

#include "QuillmereKit/Help/GuideContent.h"

namespace qm {

// The guide's sections for the sidebar and their blocks for the page, texts translated in the
// context "Guide" as they are asked for. Read from the bundle once the view has set its root.
// GUI thread only.
class GuideModel : public QAbstractListModel, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    // Empty for the application's own bundle.
    Q_PROPERTY(QString bundleRoot READ bundleRoot WRITE setBundleRoot NOTIFY bundleRootChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, TitleRole, IconRole };

    using QAbstractListModel::QAbstractListModel;

    const QString& bundleRoot() const noexcept { return bundleRoot_; }
    void setBundleRoot(const QString& root);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void classBegin() override {}
    void componentComplete() override;

    // The row of the section with that id; -1 for none.
    Q_INVOKABLE int indexOf(const QString& id) const;
    // A section's page: "title", "icon" and "blocks", each block a map of "kind" (its name in the
    // file), "text", "title", "detail", "entries" and "shortcuts" (maps of "keys" and "action").
    // Empty for a row out of range.
    Q_INVOKABLE QVariantMap page(int row) const;

    // The picture of a section's symbol among the views' resources.
    static QUrl iconOf(const QString& symbol);

signals:
    void bundleRootChanged();

private:
    void load();

    QString bundleRoot_;
    bool complete_ = false;
    GuideContent content_;
};

}  // namespace qm
