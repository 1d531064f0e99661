#include "FileReveal.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <utility>

namespace qm {

FileReveal::FileReveal(QDBusConnection bus, Opener openFolder)
    : bus_(std::move(bus)), openFolder_(std::move(openFolder)) {}

void FileReveal::reveal(const QString& path, std::function<void()> failed) const {
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    const auto open = [open = openFolder_, folder, failed = std::move(failed)] {
        if (!open(folder) && failed) {
            failed();
        }
    };
    if (!bus_.isConnected() || QCoreApplication::instance() == nullptr) {
        open();
        return;
    }
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                       service, QStringLiteral("ShowItems"));
    // File managers take the URI percent-encoded, as file URIs are written.
    call << QStringList{QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded())} << QString();
    // Owned by the application until the reply comes, which may be after the caller is gone.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [open](QDBusPendingCallWatcher* reply) {
                         reply->deleteLater();
                         if (reply->isError()) {
                             open();
                         }
                     });
}

bool FileReveal::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace qm
