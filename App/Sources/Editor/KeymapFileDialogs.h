#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <optional>

#include <QtQml/qqmlregistration.h>

#include "KeymapFileChooser.h"

namespace qm {

// The file chooser of a stream window: what the editor overlay's file dialog shows and does
// while a request is pending, and the answer it hands back. The name typed (or picked) is one in
// the shown folder or a whole path; a folder opens, a file answers, a name to open that names
// nothing is refused. A file to save gets ".json" when its name has no extension, and anything
// at its name, a link included, is asked about before it is answered; a name with control
// characters, line breaks, invisible characters or marks that reorder text is refused with the
// reason. A new request answers the one before it with nothing. Looking at the disk happens on a
// worker. GUI thread only.
class KeymapFileDialogs : public QObject, public KeymapFileChooser {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A stream window makes its file dialogs")

public:
    enum class Request { none, open, save };
    Q_ENUM(Request)

private:
    Q_PROPERTY(Request request READ request NOTIFY requestChanged)
    // The shown folder: where the last file was chosen in this run of the app, else the user's
    // Documents folder, or home when there is none.
    Q_PROPERTY(QUrl folder READ folder NOTIFY folderChanged)
    Q_PROPERTY(QString folderPath READ folderPath NOTIFY folderChanged)
    // Why the shown folder lists nothing, once its look found it unreadable; else empty.
    Q_PROPERTY(QString folderProblem READ folderProblem NOTIFY folderProblemChanged)
    // The file name field; a save proposes one.
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    // While a save waits for leave to replace a file, the question; else empty.
    Q_PROPERTY(QString replaceQuestion READ replaceQuestion NOTIFY replaceQuestionChanged)
    // Why the name typed cannot be saved to or opened, until it changes; else empty.
    Q_PROPERTY(QString refusal READ refusal NOTIFY refusalChanged)

public:
    using QObject::QObject;

    Request request() const noexcept { return request_; }
    QUrl folder() const { return QUrl::fromLocalFile(folder_); }
    const QString& folderPath() const noexcept { return folder_; }
    const QString& folderProblem() const noexcept { return folderProblem_; }
    const QString& name() const noexcept { return name_; }
    void setName(const QString& name);
    QString replaceQuestion() const;
    const QString& refusal() const noexcept { return refusal_; }

    void chooseFileToOpen(Answer answer) override;
    void chooseFileToSave(const QString& proposedName, SaveAnswer answer) override;
    void askToReplace(const std::filesystem::path& file, SaveAnswer answer) override;

    // An entry of the shown folder's list: its name laid out as one run, whatever its script,
    // with the hidden characters it holds escaped, and a folder's slash after it.
    Q_INVOKABLE static QString entryText(const QString& fileName, bool isFolder);

    // Shows a local folder; other URLs change nothing.
    Q_INVOKABLE void openFolder(const QUrl& folder);
    // Shows the folder that holds the shown one, if there is one.
    Q_INVOKABLE void openParentFolder();
    // Goes with the name: opens its folder, asks about a file it would replace, or answers.
    Q_INVOKABLE void accept();
    Q_INVOKABLE void replace();
    // Keeps the file that a save would have replaced; the dialog stays for another name.
    Q_INVOKABLE void keep();
    Q_INVOKABLE void reject() override;

signals:
    void requestChanged();
    void folderChanged();
    void folderProblemChanged();
    void nameChanged();
    void replaceQuestionChanged();
    void refusalChanged();

private:
    void ask(Request request, const QString& proposedName, SaveAnswer answer);
    void finish(std::optional<QString> file, bool replace = false);
    void setFolder(const QString& folder);
    void setReplacing(std::optional<QString> file);
    void setRefusal(const QString& refusal);
    void setFolderProblem(const QString& problem);

    Request request_ = Request::none;
    QString proposedName_;
    QString folder_;
    QString folderProblem_;
    QString name_;
    std::optional<QString> replacing_;
    QString refusal_;
    SaveAnswer answer_;
    // Counts the requests and their ends, so that a late look at the disk is dropped.
    std::uint64_t asked_ = 0;
};

}  // namespace qm
