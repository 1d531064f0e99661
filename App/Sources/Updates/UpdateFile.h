#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// A downloaded update on disk: its signature check and the name it is kept under. Every call
// blocks on file I/O: a worker thread's job.
namespace qm::UpdateFile {

// Whether `signature` is the Ed25519 signature of the whole file by `publicKey` (32 bytes). Throws
// UpdateError::notSaved when the file cannot be read.
bool verify(const QString& file, const QByteArray& signature, const QByteArray& publicKey);

// The URL's last path segment with every character outside A-Za-z0-9._+- as "_" and no leading
// dot; "Vantorel-<version>" when nothing is left.
QString saveName(const QUrl& url, const QString& displayVersion);

// Moves `file` into `folder` as `name`, else as "name (2).ext", "name (3).ext" …, never replacing
// a file; answers the path it got. Throws UpdateError::notSaved.
QString place(const QString& file, const QString& folder, const QString& name);

}  // namespace qm::UpdateFile
