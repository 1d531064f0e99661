#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include "Updates/Appcast.h"

// A downloaded update on disk: its signature check and the name it is kept under. Every call
// blocks on file I/O: a worker thread's job.
namespace qm::UpdateFile {

// What an offer's version signature signs: "vantorel-update <version> <the file's SHA-256 in
// lower-case hex>", the version as the feed writes it.
QByteArray versionMessage(const QString& version, QByteArrayView sha256);

// Whether `file` is the update `offer` announces: its signature is the Ed25519 signature of the
// whole file by `publicKey` (32 bytes), and its version signature that of the version message.
// Throws UpdateError::notSaved when the file cannot be read.
bool verify(const QString& file, const UpdateOffer& offer, const QByteArray& publicKey);

// The URL's last path segment with every character outside A-Za-z0-9._+- as "_" and no leading
// dot; "Vantorel-<version>" when nothing is left.
QString saveName(const QUrl& url, const QString& displayVersion);

// Where a download is written until it is checked, as a QTemporaryFile pattern: hidden, so that a
// file manager never shows it.
QString temporaryPattern(const QString& folder);

// Marks the open download file as one under way for as long as it stays open.
void claim(int file);

// Removes the download files a run that ended mid-way left in `folder`; those under way stay.
void removeLeftovers(const QString& folder);

// Moves `file` into `folder` as `name`, else as "name (2).ext", "name (3).ext" …, never replacing
// a file; answers the path it got. Throws UpdateError::notSaved.
QString place(const QString& file, const QString& folder, const QString& name);

}  // namespace qm::UpdateFile
