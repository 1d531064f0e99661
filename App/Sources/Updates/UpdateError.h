#pragma once

#include <QString>
#include <string>
#include <utility>

#include "QuillmereCore/TypedError.h"

namespace qm {

enum class UpdateErrorKind {
    feedTooLarge,
    feedUnreadable,
    serverStatus,
    network,
    leadsHere,
    incomplete,
    badSignature,
    notSaved,
};

// Why an update check or download failed; the message is the one shown, translated.
class UpdateError : public TypedError<UpdateErrorKind> {
public:
    static UpdateError feedTooLarge();
    // Malformed XML, a DTD, or no item that could be offered.
    static UpdateError feedUnreadable();
    static UpdateError serverStatus(int status);
    static UpdateError network(const QString& reason);
    // A feed elsewhere led to this computer or its network.
    static UpdateError leadsHere();
    // Shorter or longer than announced, or cut off.
    static UpdateError incomplete();
    static UpdateError badSignature();
    static UpdateError notSaved(const QString& reason);

    QString text() const { return QString::fromStdString(message()); }

private:
    UpdateError(Kind kind, const QString& message, std::string caseText)
        : TypedError(kind, message.toStdString(), std::move(caseText)) {}
};

}  // namespace qm
