#include "Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

namespace qm {

namespace {

nlohmann::json readInfo(const QString& file) {
    QFile info(file);
    if (!info.open(QIODevice::ReadOnly)) {
        return {};
    }
    if (info.size() > Bundle::maxInfoSize) {
        return {};
    }
    const QByteArray bytes = info.read(Bundle::maxInfoSize);
    nlohmann::json parsed = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    return parsed.is_object() ? parsed : nlohmann::json();
}

}  // namespace

Bundle::Bundle(QString root)
    : root_(std::move(root)), info_(readInfo(QDir(root_).filePath(QStringLiteral("Info.json")))) {}

Bundle Bundle::main() {
    const QDir executable(QCoreApplication::applicationDirPath());
    const QString installed = executable.filePath(QStringLiteral("../share/vantorel"));
    if (QFileInfo(installed).isDir()) {
        return Bundle(QDir::cleanPath(installed));
    }
    return Bundle(executable.filePath(QStringLiteral("share/vantorel")));
}

Bundle Bundle::at(const QString& root) {
    return root.isEmpty() ? main() : Bundle(root);
}

std::optional<QString> Bundle::path(QStringView name, QStringView extension,
                                    QStringView subfolder) const {
    QString relative = name.toString();
    if (!extension.isEmpty()) {
        relative += u'.' + extension.toString();
    }
    if (!subfolder.isEmpty()) {
        relative = subfolder.toString() + u'/' + relative;
    }
    const QString file = QDir(root_).filePath(relative);
    if (!QFileInfo(file).isFile()) {
        return std::nullopt;
    }
    return file;
}

std::optional<QString> Bundle::infoString(std::string_view key) const {
    const auto found = info_.find(key);
    if (found == info_.end() || !found->is_string()) {
        return std::nullopt;
    }
    return QString::fromStdString(found->get<std::string>());
}

}  // namespace qm
