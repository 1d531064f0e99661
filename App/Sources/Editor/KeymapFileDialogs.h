#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <QtQml/qqmlregistration.h>

#include "KeymapFileChooser.h"

namespace qm {

// The file chooser of a stream window: the editor overlay hosts a window-modal file dialog
// (JSON files only) that opens in `folder` while a request is pending and hands back what the
// user chose. A new request answers the one before it with nothing. GUI thread only.
class KeymapFileDialogs : public QObject, public KeymapFileChooser {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A stream window makes its file dialogs")

public:
    enum class Request { none, open, save };
    Q_ENUM(Request)

private:
    Q_PROPERTY(Request request READ request NOTIFY requestChanged)
    // The file name the save dialog proposes.
    Q_PROPERTY(QString proposedName READ proposedName NOTIFY requestChanged)
    // Where the dialog opens: the user's Documents folder, or home when there is none.
    Q_PROPERTY(QUrl folder READ folder NOTIFY requestChanged)

public:
    using QObject::QObject;

    Request request() const noexcept { return request_; }
    const QString& proposedName() const noexcept { return proposedName_; }
    const QUrl& folder() const noexcept { return folder_; }

    void chooseFileToOpen(Answer answer) override;
    void chooseFileToSave(const QString& proposedName, Answer answer) override;

    // The dialog's answer, with the folder it showed last: a local file, or nothing for any
    // other URL. A file to save gets ".json" when its name has no extension.
    Q_INVOKABLE void accept(const QUrl& file, const QUrl& shownFolder = {});
    Q_INVOKABLE void reject();

signals:
    void requestChanged();

private:
    void ask(Request request, QString proposedName, Answer answer);
    void finish(std::optional<std::filesystem::path> file);

    Request request_ = Request::none;
    QString proposedName_;
    QUrl folder_;
    Answer answer_;
};

}  // namespace qm
