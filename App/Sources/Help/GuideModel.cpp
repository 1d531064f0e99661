#include "Help/GuideModel.h"

#include <QCoreApplication>
#include <QFile>

#include "Storage/Bundle.h"

namespace qm {

namespace {

QString translated(const QString& key) {
    return QCoreApplication::translate("Guide", key.toUtf8().constData());
}

QStringList translated(const QStringList& keys) {
    QStringList texts;
    texts.reserve(keys.size());
    for (const QString& key : keys) {
        texts.append(translated(key));
    }
    return texts;
}

}  // namespace

void GuideModel::setBundleRoot(const QString& root) {
    if (root != bundleRoot_) {
        bundleRoot_ = root;
        if (complete_) {
            load();
        }
        emit bundleRootChanged();
    }
}

void GuideModel::componentComplete() {
    complete_ = true;
    load();
}

void GuideModel::load() {
    const auto file = Bundle::at(bundleRoot_).path(u"guide", u"json", u"Guide");
    beginResetModel();
    content_ = GuideContent::load(file.value_or(QString()));
    endResetModel();
}

int GuideModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(content_.sections().size());
}

QVariant GuideModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const GuideSection& section = content_.sections()[std::size_t(index.row())];
    switch (role) {
        case IdRole:
            return section.id;
        case TitleRole:
            return translated(section.title);
        case IconRole:
            return iconOf(section.symbol);
        default:
            return {};
    }
}

QHash<int, QByteArray> GuideModel::roleNames() const {
    return {{IdRole, "sectionId"}, {TitleRole, "title"}, {IconRole, "iconSource"}};
}

int GuideModel::indexOf(const QString& id) const {
    const auto& sections = content_.sections();
    for (std::size_t row = 0; row < sections.size(); ++row) {
        if (sections[row].id == id) {
            return int(row);
        }
    }
    return -1;
}

QVariantMap GuideModel::page(int row) const {
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    const GuideSection& section = content_.sections()[std::size_t(row)];
    QVariantList blocks;
    for (const GuideBlock& block : section.blocks) {
        QVariantList shortcuts;
        for (const GuideShortcut& shortcut : block.shortcuts) {
            shortcuts.append(
                QVariantMap{{"keys", shortcut.keys}, {"action", translated(shortcut.action)}});
        }
        const std::string_view kind = rawValue(block.kind);
        blocks.append(QVariantMap{
            {"kind", QString::fromLatin1(kind.data(), qsizetype(kind.size()))},
            {"text", translated(block.text)},
            {"title", translated(block.title)},
            {"detail", translated(block.detail)},
            {"entries", translated(block.entries)},
            {"shortcuts", shortcuts},
        });
    }
    return {
        {"title", translated(section.title)}, {"icon", iconOf(section.symbol)}, {"blocks", blocks}};
}

QUrl GuideModel::iconOf(const QString& symbol) {
    // Symbols drawn for another view are not drawn twice.
    for (const char* folder : {"Help", "Library"}) {
        const QString file = QStringLiteral(":/qt/qml/Vantorel/Sources/%1/%2.svg")
                                 .arg(QLatin1String(folder), symbol);
        if (QFile::exists(file)) {
            return QUrl(QStringLiteral("qrc") + file);
        }
    }
    return {};
}

}  // namespace qm
