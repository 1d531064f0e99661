#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>
#include <functional>

namespace qm {

// Shows a file selected in the desktop's file manager through the freedesktop FileManager1
// service. The call never blocks: without a bus, or when the service answers with an error,
// the file's folder is opened instead. GUI thread only (the reply comes on its event loop).
class FileReveal {
public:
    // False when nothing could open the folder.
    using Opener = std::function<bool(const QUrl&)>;

    // By default the folder opens through the desktop's URL handler.
    explicit FileReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                        Opener openFolder = openUrl);

    // `failed` runs when neither the file manager nor the folder could be shown.
    void reveal(const QString& path, std::function<void()> failed = {}) const;

private:
    static bool openUrl(const QUrl& url);

    QDBusConnection bus_;
    Opener openFolder_;
};

}  // namespace qm
