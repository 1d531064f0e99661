#include "Updates/UpdateError.h"

#include <QCoreApplication>

namespace qm {

UpdateError UpdateError::feedTooLarge() {
    return {Kind::feedTooLarge,
            QCoreApplication::translate("AppUpdater", "The update feed is too large."),
            "feedTooLarge"};
}

UpdateError UpdateError::feedUnreadable() {
    return {Kind::feedUnreadable,
            QCoreApplication::translate("AppUpdater", "The update feed could not be read."),
            "feedUnreadable"};
}

UpdateError UpdateError::serverStatus(int status) {
    return {Kind::serverStatus,
            QCoreApplication::translate("AppUpdater", "The update server answered %1.").arg(status),
            "serverStatus(" + std::to_string(status) + ")"};
}

UpdateError UpdateError::network(const QString& reason) {
    return {Kind::network,
            QCoreApplication::translate("AppUpdater", "Couldn’t check for updates: %1").arg(reason),
            caseWithText("network", reason.toStdString())};
}

UpdateError UpdateError::leadsHere() {
    return {Kind::leadsHere,
            QCoreApplication::translate("AppUpdater",
                                        "The update server pointed to this computer or its "
                                        "network, which only a feed there may do. Nothing was "
                                        "fetched from it."),
            "leadsHere"};
}

UpdateError UpdateError::incomplete() {
    return {Kind::incomplete,
            QCoreApplication::translate("AppUpdater",
                                        "The download was incomplete. Nothing was saved."),
            "incomplete"};
}

UpdateError UpdateError::badSignature() {
    return {Kind::badSignature,
            QCoreApplication::translate("AppUpdater",
                                        "The update is not signed correctly. Nothing was saved."),
            "badSignature"};
}

UpdateError UpdateError::notSaved(const QString& reason) {
    return {
        Kind::notSaved,
        QCoreApplication::translate("AppUpdater", "The update could not be saved: %1").arg(reason),
        caseWithText("notSaved", reason.toStdString())};
}

}  // namespace qm
